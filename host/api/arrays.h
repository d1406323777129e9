#pragma once

#include <initializer_list>
#include <vector>

namespace host {

// The common shape of the host's value arrays: indexable, appendable, resizable.
template <typename T>
class ValueArray {
public:
    ValueArray() = default;
    ValueArray(unsigned n, const T& init = T()) : v_(n, init) {}
    ValueArray(std::initializer_list<T> init) : v_(init) {}

    unsigned length() const { return static_cast<unsigned>(v_.size()); }
    void setLength(unsigned n) { v_.resize(n); }
    void clear() { v_.clear(); }
    void append(const T& x) { v_.push_back(x); }
    void insert(const T& x, unsigned i) { v_.insert(v_.begin() + i, x); }
    void remove(unsigned i) { v_.erase(v_.begin() + i); }
    T& operator[](unsigned i) { return v_[i]; }
    const T& operator[](unsigned i) const { return v_[i]; }
    bool operator==(const ValueArray& o) const { return v_ == o.v_; }

    auto begin() { return v_.begin(); }
    auto end() { return v_.end(); }
    auto begin() const { return v_.begin(); }
    auto end() const { return v_.end(); }
    const std::vector<T>& values() const { return v_; }

private:
    std::vector<T> v_;
};

}  // namespace host

class MIntArray : public host::ValueArray<int> {
public:
    using ValueArray::ValueArray;
};

class MDoubleArray : public host::ValueArray<double> {
public:
    using ValueArray::ValueArray;
};

class MFloatArray : public host::ValueArray<float> {
public:
    using ValueArray::ValueArray;
};

class MUintArray : public host::ValueArray<unsigned> {
public:
    using ValueArray::ValueArray;
};
