#include "ClusteringFactory.h"
#include "DimReductionFactory.h"
#include "HierarchicalClustering.h"
#include "ISOMAPTapkee.h"
#include "LaplacianEigenMapTapkee.h"
#include "LocalLinearEmbeddingTapkee.h"
#include "MDSTapkee.h"
#include "PCATapkee.h"
#include "kmeansClustering.h"
#include "AxisAlignedProjection.h"

#include <gtest/gtest.h>

using namespace Zelvo;

TEST(EngineFactories, EachFunctionBuildsItsEngine)
{
    distanceFunctor distance;
    EXPECT_NE(dynamic_cast<PCATapkee*>(DimReductionFactory::FromPCAFactory(distance).get()), nullptr);
    EXPECT_NE(dynamic_cast<MDSTapkee*>(DimReductionFactory::FromMDSFactory(distance).get()), nullptr);
    EXPECT_NE(dynamic_cast<ISOMAPTapkee*>(DimReductionFactory::FromISOMAPFactory(distance, 5).get()), nullptr);
    EXPECT_NE(dynamic_cast<LaplacianEigenMapTapkee*>(DimReductionFactory::FromLaplacianEigenmapFactory(distance, 5, 0).get()),
              nullptr);
    EXPECT_NE(dynamic_cast<LocalLinearEmbeddingTapkee*>(DimReductionFactory::FromLocalLinearEmbeddingFactory(distance, 5).get()),
              nullptr);
    EXPECT_NE(dynamic_cast<AxisAlignedProjection*>(DimReductionFactory::FromAxisAlignProjectionFactory(0, 1).get()), nullptr);
    EXPECT_NE(dynamic_cast<HierarchicalClustering*>(
                  ClusteringFactory::FromClassicalHierarchClusteringFactory(CentroidLinkage, DistanceType(1)).get()),
              nullptr);
    EXPECT_NE(dynamic_cast<kmeansClustering*>(ClusteringFactory::FromKmeansClusteringFactory(3, KmeansPlusPlus).get()),
              nullptr);
}
