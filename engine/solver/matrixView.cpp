#include "engine/solver/matrixView.h"

#include <algorithm>
#include <limits>

MatrixView* MatrixView::row(const MatrixView& matrix, MatrixView& view, int i) {
    view.rows = 1;
    view.rowCapacity = matrix.rowCapacity;
    view.cols = matrix.rows;
    view.stride = matrix.stride;
    view.data = matrix.data + static_cast<std::ptrdiff_t>(matrix.stride) * i;
    return &view;
}

void MatrixView::setZero(MatrixView& matrix, double d) {
    for (int i = 0; i < matrix.rows; ++i) {
        std::fill_n(&matrix.at(i, 0), matrix.cols, 0.0);
    }
    const int diagonal = std::min(matrix.rows, matrix.cols);
    for (int i = 0; i < diagonal; ++i) {
        matrix.at(i, i) = d;
    }
}

void zeroMatrixRows(MatrixView& matrix, int r0, int r1) {
    if (r0 < 0 || r0 > r1 || r1 >= matrix.rowCapacity) {
        return;
    }
    for (int i = r0; i <= r1; ++i) {
        std::fill_n(&matrix.at(i, 0), matrix.cols, 0.0);
    }
}

void zeroMatrixColumns(MatrixView& matrix, int c0, int c1) {
    if (c0 < 0 || c1 < 0 || c0 >= matrix.stride || c1 >= matrix.stride) {
        return;
    }
    for (int i = 0; i < matrix.rows; ++i) {
        for (int j = c0; j <= c1; ++j) {
            matrix.at(i, j) = 0.0;
        }
    }
}

void clearMatrixBlock(MatrixView& matrix, int i) {
    // A block that would end past the largest int lies past every storage too.
    if (i > std::numeric_limits<int>::max() - 2) {
        return;
    }
    zeroMatrixRows(matrix, i, i + 2);
    zeroMatrixColumns(matrix, i, i + 2);
}

void clearMatrixVariable(MatrixView& matrix, int i) {
    zeroMatrixRows(matrix, i, i);
    zeroMatrixColumns(matrix, i, i);
}
