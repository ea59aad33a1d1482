#include "UserOperation.h"

#include "DialogService.h"
#include "Log.h"

#include <QWidget>

#include <cstring>
#include <exception>
#include <new>

namespace Zelvo {

namespace {

// A warning box is read, not scrolled: the rest stays on standard output.
constexpr size_t kShownLines = 12;
constexpr size_t kShownLineLength = 300;

bool IsBlank(const std::string& line)
{
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

}  // namespace

bool UserOperation::IsNotable(const std::string& line)
{
    // "Error" or "Warning" as the report of a line, not as the label of a number in progress
    // output ("Cycle 3 Error 12.5 Movement ...").
    for (const std::string word : {"Error", "Warning"}) {
        for (size_t at = line.find(word); at != std::string::npos; at = line.find(word, at + 1)) {
            const size_t after = at + word.size();
            const bool labelsNumber = after + 1 < line.size() && line[after] == ' ' &&
                                      std::strchr("0123456789+-.", line[after + 1]) != nullptr;
            if (!labelsNumber) return true;
        }
    }
    return false;
}

QString UserOperation::Report(const std::vector<std::string>& lines, bool succeeded, const QString& what)
{
    std::vector<const std::string*> shown;
    for (const std::string& line : lines)
        if (IsNotable(line)) shown.push_back(&line);
    if (shown.empty() && !succeeded) {
        for (const std::string& line : lines)
            if (!IsBlank(line)) shown.push_back(&line);
        if (shown.empty()) return what + " failed.";
    }
    QStringList text;
    for (size_t i = 0; i < shown.size() && i < kShownLines; ++i) {
        const std::string& line = *shown[i];
        QString entry = QString::fromStdString(line.substr(0, kShownLineLength)).trimmed();
        if (line.size() > kShownLineLength) entry += " ...";
        text << entry;
    }
    if (shown.size() > kShownLines)
        text << QString("... and %1 more lines on standard output").arg(shown.size() - kShownLines);
    return text.join('\n');
}

bool UserOperation::m_catching(const QString& what, const std::function<bool()>& work,
                               const std::function<void()>& recover)
{
    const std::string name = what.toStdString();
    try {
        return work();
    } catch (const std::bad_alloc&) {
        Log::Printf("Error: %s: not enough memory\n", name.c_str());
    } catch (const std::exception& e) {
        Log::Printf("Error: %s: %s\n", name.c_str(), e.what());
    } catch (...) {
        Log::Printf("Error: %s: unexpected failure\n", name.c_str());
    }
    if (recover) {
        try {
            recover();
        } catch (...) {
            Log::Printf("Error: %s: the views could not be restored\n", name.c_str());
        }
    }
    return false;
}

bool UserOperation::Guard(const QString& what, const std::function<bool()>& work,
                          const std::function<void()>& recover)
{
    return m_catching(what, work, recover);
}

bool UserOperation::Run(QWidget* parent, const QString& what, const std::function<bool()>& work,
                        const std::function<void()>& recover)
{
    bool succeeded = false;
    bool outermost = false;
    std::vector<std::string> lines;
    {
        Log::Collector collector;
        outermost = collector.IsOutermost();
        succeeded = m_catching(what, work, recover);
        if (outermost) lines = collector.Lines();
    }
    // The box waits for the user in an event loop of its own: the operation has ended by then.
    if (outermost) {
        const QString text = Report(lines, succeeded, what);
        if (!text.isEmpty()) {
            QWidget* window = parent ? parent->window() : nullptr;
            DialogService::Current().Warning(parent, window ? window->windowTitle() : QString(), text);
        }
    }
    return succeeded;
}

}  // namespace Zelvo
