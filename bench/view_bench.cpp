// Developer tool: times the views through their real classes on generated data. Usage:
//   view_bench --points N [--dims D] [--clusters K] --op NAME [--mode MODE] [--repeat R]
// It prints whatever lines the operation prints and ends with "time_ms: MEDIAN".
// Exit status: 0 done, 1 the operation failed, 2 a bad command line.
#include "viewbench/ViewBenchOps.h"

#include "DialogService.h"

#include <QApplication>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace ViewBench {

std::map<std::string, Operation>& Registry()
{
    static std::map<std::string, Operation> operations;
    return operations;
}

}  // namespace ViewBench

namespace {

int Usage()
{
    std::string names;
    for (const auto& entry : ViewBench::Registry())
        names += (names.empty() ? "" : "|") + entry.first;
    std::fprintf(stderr, "usage: view_bench --points N [--dims D] [--clusters K] --op %s [--mode MODE] [--repeat R]\n",
                 names.c_str());
    return 2;
}

// Nobody is there to answer a dialog: a warning goes to standard error and is answered Ok, a
// file dialog is cancelled (an operation that needs names installs its own answers).
class UnattendedDialogs : public Zelvo::DialogService {
public:
    QString GetOpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString GetSaveFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QMessageBox::StandardButton Warning(QWidget*, const QString&, const QString& text, QMessageBox::StandardButtons,
                                        QMessageBox::StandardButton) override
    {
        std::fprintf(stderr, "warning: %s\n", text.toLocal8Bit().constData());
        return QMessageBox::Ok;
    }
};

bool ReadPositive(const char* text, int& value)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 1 || v > 100000000)
        return false;
    value = static_cast<int>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    UnattendedDialogs dialogs;
    Zelvo::DialogService::SetCurrent(&dialogs);

    ViewBench::Options options;
    for (int i = 1; i < argc; ++i) {
        const char* flag = argv[i];
        if (i + 1 >= argc)
            return Usage();
        const char* value = argv[++i];
        bool ok = true;
        if (!std::strcmp(flag, "--points"))
            ok = ReadPositive(value, options.points);
        else if (!std::strcmp(flag, "--dims"))
            ok = ReadPositive(value, options.dims);
        else if (!std::strcmp(flag, "--clusters"))
            ok = ReadPositive(value, options.clusters);
        else if (!std::strcmp(flag, "--repeat"))
            ok = ReadPositive(value, options.repeat);
        else if (!std::strcmp(flag, "--op"))
            options.op = value;
        else if (!std::strcmp(flag, "--mode"))
            options.mode = value;
        else
            ok = false;
        if (!ok)
            return Usage();
    }
    const auto found = ViewBench::Registry().find(options.op);
    if (found == ViewBench::Registry().end())
        return Usage();

    std::vector<double> times = found->second(options);
    if (times.empty())
        return 1;
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    const double median = n % 2 ? times[n / 2] : 0.5 * (times[n / 2 - 1] + times[n / 2]);
    std::printf("time_ms: %.2f\n", median);
    return 0;
}
