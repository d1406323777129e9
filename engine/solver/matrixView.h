#pragma once

// The dense row-major matrix record of the least-squares solver, as the code that fills
// systems sees it. Element (i, j) lives at data[stride * i + j]; the stride is the column
// capacity and stays fixed while rows and cols change with the system's size, so every
// loop over the matrix steps rows by the stride, never by the column count.

#include <cstddef>
#include <cstdint>

struct MatrixView {
    std::int32_t rows = 0;         // rows in use
    std::int32_t rowCapacity = 0;  // rows the storage holds
    std::int32_t cols = 0;         // columns in use
    std::int32_t stride = 0;       // elements from one row to the next (the column capacity)
    double* data = nullptr;        // owned by the problem set that made it; never by a view

    double& at(int i, int j) { return data[static_cast<std::ptrdiff_t>(stride) * i + j]; }
    const double& at(int i, int j) const { return data[static_cast<std::ptrdiff_t>(stride) * i + j]; }

    // Fills view with row i of matrix: one row whose column count is the matrix's row
    // count (the systems are square), sharing the matrix's stride and storage. The view
    // borrows the storage; nothing is ever freed through it. Returns &view.
    static MatrixView* row(const MatrixView& matrix, MatrixView& view, int i);

    // Every element of rows x cols := 0, then the diagonal := d. The diagonal stops at
    // the smaller of rows and cols so that a non-square use never writes past a row.
    static void setZero(MatrixView& matrix, double d);
};

// Zeroes rows r0..r1 (inclusive) over the columns in use; only when 0 <= r0 <= r1 and
// r1 lies below the row capacity.
void zeroMatrixRows(MatrixView& matrix, int r0, int r1);

// Zeroes columns c0..c1 (inclusive) of every row in use; only when both lie in
// [0, stride).
void zeroMatrixColumns(MatrixView& matrix, int c0, int c1);

// Clears the 3 x 3 block of variables i..i+2: their rows and their columns.
void clearMatrixBlock(MatrixView& matrix, int i);

// Clears variable i: row i and column i.
void clearMatrixVariable(MatrixView& matrix, int i);
