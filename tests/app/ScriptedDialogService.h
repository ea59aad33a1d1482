#pragma once

#include "DialogService.h"

#include <QStringList>

#include <deque>
#include <vector>

// Answers the main window's dialogs from a script and records every question asked.
// In use from construction to destruction.
class ScriptedDialogService : public Zelvo::DialogService {
public:
    struct Call {
        QString kind;  // "open", "save" or "warning"
        QWidget* parent = nullptr;
        QString caption;
        QString directory;  // file dialogs
        QString filter;     // file dialogs
        QString text;       // warning
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    };

    ScriptedDialogService() : m_previous(Zelvo::DialogService::SetCurrent(this)) {}
    ~ScriptedDialogService() override { Zelvo::DialogService::SetCurrent(m_previous); }

    // The next file dialog returns name ("" = cancelled); the next warning answers button.
    void AnswerFileName(const QString& name) { m_fileNames.push_back(name); }
    void AnswerWarning(QMessageBox::StandardButton button) { m_buttons.push_back(button); }

    const std::vector<Call>& Calls() const { return m_calls; }
    bool ScriptUsedUp() const { return m_fileNames.empty() && m_buttons.empty(); }

    QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                            const QString& filter) override
    {
        return FileDialog("open", parent, caption, directory, filter);
    }
    QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& directory,
                            const QString& filter) override
    {
        return FileDialog("save", parent, caption, directory, filter);
    }
    QMessageBox::StandardButton Warning(QWidget* parent, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) override
    {
        Call call;
        call.kind = "warning";
        call.parent = parent;
        call.caption = title;
        call.text = text;
        call.buttons = buttons;
        call.defaultButton = defaultButton;
        m_calls.push_back(call);
        if (m_buttons.empty()) return QMessageBox::NoButton;  // unexpected question: a visible failure
        const QMessageBox::StandardButton answer = m_buttons.front();
        m_buttons.pop_front();
        return answer;
    }

private:
    QString FileDialog(const char* kind, QWidget* parent, const QString& caption, const QString& directory,
                       const QString& filter)
    {
        Call call;
        call.kind = kind;
        call.parent = parent;
        call.caption = caption;
        call.directory = directory;
        call.filter = filter;
        m_calls.push_back(call);
        if (m_fileNames.empty()) return QString();
        const QString name = m_fileNames.front();
        m_fileNames.pop_front();
        return name;
    }

    Zelvo::DialogService* m_previous;
    std::deque<QString> m_fileNames;
    std::deque<QMessageBox::StandardButton> m_buttons;
    std::vector<Call> m_calls;
};
