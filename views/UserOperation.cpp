#include "UserOperation.h"

#include "DialogService.h"
#include "Log.h"

#include <QWidget>

#include <cctype>
#include <exception>
#include <new>
#include <string_view>

namespace Zelvo {

namespace {

// A warning box is read, not scrolled: the rest stays on standard output. A longer report
// keeps its first and its last lines, since an operation ends with the cause of its failure.
constexpr size_t kShownLines = 12;
constexpr size_t kShownLineLength = 300;

bool IsBlank(const std::string& line)
{
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

// "Error" or "Warning" as a word of its own at the start of text ("Error: ...", "Error in
// reading: ...", "Error kmeans: ...", "Warning: ...").
bool StartsWithSeverity(std::string_view text)
{
    for (const std::string_view word : {std::string_view("Error"), std::string_view("Warning")}) {
        if (text.substr(0, word.size()) != word) continue;
        if (text.size() == word.size() || text[word.size()] == ':' || text[word.size()] == ' ') return true;
    }
    return false;
}

bool IsNameCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The length of the name of the reporting class before the severity ("[DataProfile] Error:",
// "ReadHDPointSet::Error"), 0 when the line starts with none.
size_t ReporterLength(std::string_view line)
{
    const bool bracketed = !line.empty() && line[0] == '[';
    size_t end = bracketed ? 1 : 0;
    const size_t nameStart = end;
    while (end < line.size() && IsNameCharacter(line[end])) ++end;
    if (end == nameStart) return 0;
    const std::string_view after = bracketed ? "] " : "::";
    return line.substr(end, after.size()) == after ? end + after.size() : 0;
}

}  // namespace

bool UserOperation::IsNotable(const std::string& line)
{
    // Only the program's own marker where its line starts: paths, labels, headers and echoed
    // rows are data, and the word in them says nothing ("Loading file: Warnings/a.csv"), nor
    // does it as the label of a number in progress output ("Cycle 3 Error 12.5 ...").
    if (line == "Label loading Error") return true;  // a fixed text with its marker at the end
    const std::string_view text(line);
    return StartsWithSeverity(text) || StartsWithSeverity(text.substr(ReporterLength(text)));
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
    const auto entry = [](const std::string& line) {
        QString text = QString::fromStdString(line.substr(0, kShownLineLength)).trimmed();
        if (line.size() > kShownLineLength) text += " ...";
        return text;
    };
    QStringList text;
    if (shown.size() > kShownLines) {
        const size_t head = kShownLines / 2, tail = kShownLines - head;
        for (size_t i = 0; i < head; ++i) text << entry(*shown[i]);
        text << QString("... and %1 more lines on standard output").arg(shown.size() - kShownLines);
        for (size_t i = shown.size() - tail; i < shown.size(); ++i) text << entry(*shown[i]);
    } else {
        for (const std::string* line : shown) text << entry(*line);
    }
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
