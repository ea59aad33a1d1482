#include "DimReductionFactory.h"

#include "AxisAlignedProjection.h"
#include "ISOMAPTapkee.h"
#include "LaplacianEigenMapTapkee.h"
#include "LocalLinearEmbeddingTapkee.h"
#include "MDSTapkee.h"
#include "PCATapkee.h"

namespace Zelvo {

std::unique_ptr<DimReductionInterface> DimReductionFactory::FromPCAFactory(distanceFunctor& distance)
{
    return std::make_unique<PCATapkee>(distance);
}

std::unique_ptr<DimReductionInterface> DimReductionFactory::FromMDSFactory(distanceFunctor& distance)
{
    return std::make_unique<MDSTapkee>(distance);
}

std::unique_ptr<DimReductionInterface> DimReductionFactory::FromISOMAPFactory(distanceFunctor& distance, int k)
{
    return std::make_unique<ISOMAPTapkee>(distance, k);
}

std::unique_ptr<DimReductionInterface> DimReductionFactory::FromLaplacianEigenmapFactory(distanceFunctor& distance,
                                                                                         int k, float width)
{
    return std::make_unique<LaplacianEigenMapTapkee>(distance, k, width);
}

std::unique_ptr<DimReductionInterface> DimReductionFactory::FromLocalLinearEmbeddingFactory(distanceFunctor& distance,
                                                                                            int k)
{
    return std::make_unique<LocalLinearEmbeddingTapkee>(distance, k);
}

std::unique_ptr<DimReductionInterface> DimReductionFactory::FromAxisAlignProjectionFactory(int xDim, int yDim)
{
    return std::make_unique<AxisAlignedProjection>(xDim, yDim);
}

}  // namespace Zelvo
