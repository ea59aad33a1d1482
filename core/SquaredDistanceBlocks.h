#pragma once

#include <cstddef>

namespace Zelvo {

// The n x n high-dimensional squared distances of an embedding, made a block of columns at a
// time when a measure asks (column i: the distances from point i to every point), with
// exactly the values the whole matrix would hold. A block starts at a multiple of BlockWidth()
// and is BlockWidth() wide, the last one narrower; its rows are filled in parts that may run
// on several threads at once.
class SquaredDistanceBlocks {
public:
    virtual ~SquaredDistanceBlocks() = default;

    virtual int PointCount() const = 0;
    virtual int BlockWidth() const = 0;
    // Bytes that one pass holds besides the blocks (BeginPass to EndPass), and that one
    // part holds while it runs.
    virtual size_t PassBytes() const = 0;
    virtual size_t PartBytes() const = 0;
    // Before and after the blocks of one pass, whose parts run on threads numbered below
    // workers; false after an "Error ..." line.
    virtual bool BeginPass(int workers) = 0;
    virtual void EndPass() = 0;
    // Row parts of the block that starts at column first.
    virtual int PartCount(int first) const = 0;
    // Fills the rows of one part of columns [first, first + width) into columns (PointCount()
    // values per column, column after column), on the thread numbered worker; parts on other
    // threads may run at the same time. False after an "Error ..." line.
    virtual bool FillPart(int first, int part, int worker, float* columns) = 0;
};

}  // namespace Zelvo
