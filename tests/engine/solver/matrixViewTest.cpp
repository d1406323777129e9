#include "engine/solver/matrixView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// rows x cols in storage of rowCapacity x stride, every element 9 at first.
struct Storage {
    std::vector<double> data;
    MatrixView m;
    Storage(int rows, int cols, int rowCapacity, int stride)
        : data(rowCapacity * stride, 9.0), m{rows, rowCapacity, cols, stride, data.data()} {}
    int untouched() const { return static_cast<int>(std::count(data.begin(), data.end(), 9.0)); }
};

}  // namespace

TEST(MatrixView, SetZeroAndRow) {
    Storage s(3, 3, 4, 5);
    MatrixView::setZero(s.m, 1.0);
    for (int k = 0; k < 9; ++k) {
        EXPECT_EQ(s.m.at(k / 3, k % 3), k % 4 == 0 ? 1.0 : 0.0);
    }
    EXPECT_EQ(s.untouched(), 20 - 9);  // the padding is left alone
    Storage tall(4, 2, 4, 3);  // the diagonal stops at the column count
    MatrixView::setZero(tall.m, 2.0);
    EXPECT_EQ(tall.m.at(1, 1), 2.0);
    EXPECT_EQ(tall.m.at(2, 0) + tall.m.at(2, 1) + tall.m.at(3, 1), 0.0);
    EXPECT_EQ(tall.untouched(), 4);

    MatrixView view;
    EXPECT_EQ(MatrixView::row(s.m, view, 2), &view);
    EXPECT_EQ((std::vector<int>{view.rows, view.rowCapacity, view.cols, view.stride}),
              (std::vector<int>{1, 4, 3, 5}));
    view.at(0, 1) = 7.0;
    EXPECT_EQ(s.m.at(2, 1), 7.0);
}

TEST(MatrixView, ZeroRowsColumnsBlocksAndVariables) {
    Storage s(4, 4, 5, 6);
    zeroMatrixRows(s.m, 1, 2);  // over the columns in use only
    EXPECT_EQ(s.m.at(1, 3) + s.m.at(1, 4), 9.0);
    zeroMatrixRows(s.m, 3, 5);  // row 5 is past the capacity: nothing
    zeroMatrixRows(s.m, 3, 2);
    zeroMatrixColumns(s.m, 5, 6);  // column 6 is past the stride
    EXPECT_EQ(s.untouched(), 30 - 8);
    zeroMatrixColumns(s.m, 5, 5);  // every row in use, even past the columns in use
    EXPECT_EQ(s.m.at(3, 5) + s.m.at(4, 5), 9.0);
    EXPECT_EQ(s.untouched(), 30 - 12);

    Storage t(4, 4, 4, 4);
    clearMatrixVariable(t.m, 0);
    EXPECT_EQ(t.untouched(), 16 - 7);
    clearMatrixBlock(t.m, 1);
    EXPECT_EQ(t.untouched(), 0);
    Storage u(4, 4, 4, 4);
    clearMatrixBlock(u.m, 2);  // variables 2..4 reach past the storage: nothing
    EXPECT_EQ(u.untouched(), 16);
    clearMatrixBlock(u.m, std::numeric_limits<int>::max());  // its end is no int (found by fuzzing)
    EXPECT_EQ(u.untouched(), 16);
}
