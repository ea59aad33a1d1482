#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace Zelvo {

// Every modal dialog of the application goes through here, so that the window can be driven
// without a person at the keyboard. The default service shows the standard Qt dialogs;
// another service can be put in its place for as long as it lives.
class DialogService {
public:
    virtual ~DialogService() = default;

    virtual QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                                    const QString& filter);
    virtual QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& directory,
                                    const QString& filter);
    // A warning box; with Ok alone it is the plain warning, with Yes and No the question.
    virtual QMessageBox::StandardButton Warning(QWidget* parent, const QString& title, const QString& text,
                                                QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    // The service in use.
    static DialogService& Current();
    // Puts service in use (null: the standard dialogs again) and returns the one it replaces.
    static DialogService* SetCurrent(DialogService* service);
};

}  // namespace Zelvo
