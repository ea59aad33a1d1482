#include "DialogService.h"

#include <QFileDialog>

namespace Zelvo {

namespace {

DialogService* g_current = nullptr;

DialogService& StandardService()
{
    static DialogService service;
    return service;
}

}  // namespace

QString DialogService::GetOpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                                       const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, directory, filter);
}

QString DialogService::GetSaveFileName(QWidget* parent, const QString& caption, const QString& directory,
                                       const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, caption, directory, filter);
}

QMessageBox::StandardButton DialogService::Warning(QWidget* parent, const QString& title, const QString& text,
                                                   QMessageBox::StandardButtons buttons,
                                                   QMessageBox::StandardButton defaultButton)
{
    return QMessageBox::warning(parent, title, text, buttons, defaultButton);
}

DialogService& DialogService::Current()
{
    return g_current ? *g_current : StandardService();
}

DialogService* DialogService::SetCurrent(DialogService* service)
{
    DialogService* previous = g_current;
    g_current = service;
    return previous;
}

}  // namespace Zelvo
