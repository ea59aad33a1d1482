// The label loader and the subspace loader: the input up to its first '|' is the label file
// run_labels.txt, the rest is the first basis file run_Sub1_Basis.csv (the others are
// missing). The model has one subspace per distinct label, the labels read as stream
// extraction reads each line, and basis 1 is the table the CSV loader reads.
#include "CSVLoader.h"
#include "FuzzSupport.h"
#include "LabelingResult.h"
#include "SubspaceDescriptor.h"
#include "SubspaceLoader.h"
#include "SubspaceModel.h"

#include <cstdio>
#include <locale>
#include <set>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::SilenceStdout();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const size_t bar = text.find('|');
    const std::string labels = text.substr(0, bar);
    const std::string basis = bar == std::string::npos ? std::string() : text.substr(bar + 1);
    const std::string labelPath = FuzzSupport::WriteFile("run_labels.txt", labels.data(), labels.size());
    const std::string basisPath = FuzzSupport::WorkDir() + "run_Sub1_Basis.csv";
    std::remove(basisPath.c_str());
    if (bar != std::string::npos) FuzzSupport::WriteFile("run_Sub1_Basis.csv", basis.data(), basis.size());

    // Each line's first int as stream extraction reads it (0 when none; saturated on overflow),
    // after a byte-order mark at the start of the file.
    std::vector<int> expected;
    size_t start = labels.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (start < labels.size()) {
        size_t end = labels.find('\n', start);
        if (end == std::string::npos) end = labels.size();
        std::istringstream in(labels.substr(start, end - start));
        in.imbue(std::locale::classic());
        int value = 0;
        in >> value;
        expected.push_back(value);
        start = end + 1;
    }
    CSVLoader loader;
    FUZZ_CHECK(loader.LoadLabelFile(labelPath.c_str()));
    FUZZ_CHECK(loader.GetLabels() == expected);

    std::unique_ptr<Zelvo::SubspaceModel> model = Zelvo::SubspaceLoader::LoadSubspaceModelFromFile(labelPath.c_str());
    FUZZ_CHECK(model != nullptr);
    const std::set<int> distinct(expected.begin(), expected.end());
    FUZZ_CHECK(model->GetSubspaceNum() == static_cast<int>(distinct.size()));
    FUZZ_CHECK(model->GetLabeling()->GetNumOfClass() == static_cast<int>(distinct.size()));
    FUZZ_CHECK(model->GetDescriptor()->bases.size() == distinct.size());
    if (!distinct.empty() && bar != std::string::npos) {
        CSVLoader table;
        table.LoadCSVFile(basisPath.c_str(), ',', false);
        const Eigen::MatrixXf& first = model->GetDescriptor()->bases[0];
        FUZZ_CHECK(first.rows() == table.GetRowCount() && first.cols() == table.GetColumnCount());
        for (int r = 0; r < table.GetRowCount(); ++r)
            for (int c = 0; c < table.GetColumnCount(); ++c) {
                const float a = first(r, c);
                const float b = table.GetEntryAttribute(r, c);
                FUZZ_CHECK(a == b || (a != a && b != b));
            }
    }
    return 0;
}
