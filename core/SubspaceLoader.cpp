#include "SubspaceLoader.h"

#include "CSVLoader.h"
#include "Log.h"
#include "ToString.h"

#include <string>

namespace Zelvo {

std::unique_ptr<SubspaceModel> SubspaceLoader::LoadSubspaceModelFromFile(const char* labelPath)
{
    CSVLoader loader;
    if (!loader.LoadLabelFile(labelPath)) return nullptr;
    auto labeling = std::make_unique<LabelingResult>(loader.GetLabels());
    auto descriptor = std::make_unique<SubspaceDescriptor>();
    const std::string path(labelPath);
    const size_t underscore = path.rfind('_');
    const std::string prefix = underscore == std::string::npos ? std::string() : path.substr(0, underscore + 1);
    for (int i = 1; i <= labeling->GetNumOfClass(); ++i) {
        const std::string name = prefix + "Sub" + ToString(i) + "_Basis.csv";
        loader.LoadCSVFile(name.c_str(), ',', false);
        Eigen::MatrixXf basis(loader.GetRowCount(), loader.GetColumnCount());
        for (int r = 0; r < loader.GetRowCount(); ++r)
            for (int c = 0; c < loader.GetColumnCount(); ++c) basis(r, c) = loader.GetEntryAttribute(r, c);
        Log::Printf("   SubspaceDim:%d\n", loader.GetColumnCount());
        descriptor->bases.push_back(std::move(basis));
    }
    return std::make_unique<SubspaceModel>(std::move(labeling), std::move(descriptor));
}

}  // namespace Zelvo
