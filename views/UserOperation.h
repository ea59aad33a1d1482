#pragma once

#include <QString>

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace Zelvo {

// The boundary of one user-started operation, at the slot that starts it. What the operation
// prints is collected; an exception ends it with an "Error" line instead of ending the program;
// and a failure, or any line it printed that reports an error or a warning, is shown in one
// warning through the dialog seam, in the printed lines' own words. Started inside another
// operation (a slot that a signal of the outer one runs) it collects and catches, and the
// outermost reports.
class UserOperation {
public:
    // work returns true when it did what was asked; recover runs after an exception, to leave
    // the views consistent. what names the operation where no line does. Returns work's answer
    // (false after an exception).
    static bool Run(QWidget* parent, const QString& what, const std::function<bool()>& work,
                    const std::function<void()>& recover = std::function<void()>());
    // The same boundary for work whose lines need no box of their own: an exception still ends
    // it with an "Error" line, and its lines reach the window's listeners (the status line) or
    // the operation around it.
    static bool Guard(const QString& what, const std::function<bool()>& work,
                      const std::function<void()>& recover = std::function<void()>());

    // The warning's text for the printed lines, empty when there is nothing to show: the
    // notable lines; on failure without such lines every line, or "<what> failed." when
    // nothing was printed. Long reports keep their first and last lines, with a note between.
    static QString Report(const std::vector<std::string>& lines, bool succeeded, const QString& what);
    // True for a line that reports a failure or a doubtful result: one that starts with the
    // program's own marker, "Error" or "Warning" as a word, perhaps after the name of the
    // reporting class ("[DataProfile] Error: ...", "ReadHDPointSet::Error ..."). A word
    // further on (a path, a label, an echoed row) is data.
    static bool IsNotable(const std::string& line);

private:
    static bool m_catching(const QString& what, const std::function<bool()>& work,
                           const std::function<void()>& recover);
};

}  // namespace Zelvo
