#pragma once

// Empty-region neighbourhood graphs: points, edges, tests and methods.
#include "EdgeInfo.h"
#include "EmptyRegionMethod.h"
#include "EmptyRegionTest.h"
#include "NGLGeometry.h"
#include "NGLParams.h"
#include "NGLPoint.h"
#include "NGLPointSet.h"
#include "NGMethod.h"
#include "RelativeNeighbor.h"
#include "RelativeNeighborGraph.h"
