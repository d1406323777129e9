#pragma once

#include "host/api/text.h"

namespace MS {

// Status codes of host calls. kUnknownParameter is what a compute answers for a
// plug it does not handle; it is not a failure.
enum MStatusCode {
    kSuccess = 0,
    kFailure = 1,
    kInsufficientMemory = 2,
    kInvalidParameter = 3,
    kLicenseFailure = 4,
    kUnknownParameter = 5,
    kNotImplemented = 6,
    kNotFound = 7,
    kEndOfFile = 8,
};

}  // namespace MS

class MStatus {
public:
    MStatus() = default;
    MStatus(MS::MStatusCode code) : code_(code) {}  // NOLINT: codes convert implicitly
    MStatus(MS::MStatusCode code, const MString& text) : code_(code), text_(text) {}

    MS::MStatusCode statusCode() const { return code_; }
    // kUnknownParameter counts as success here: it only says "not mine".
    bool error() const { return code_ != MS::kSuccess && code_ != MS::kUnknownParameter; }
    explicit operator bool() const { return !error(); }
    bool operator!() const { return error(); }
    bool operator==(MS::MStatusCode code) const { return code_ == code; }
    bool operator==(const MStatus& other) const { return code_ == other.code_; }

    void clear() { code_ = MS::kSuccess; text_ = MString(); }
    // The text of the code, or the text given with it.
    MString errorString() const;
    // Writes prefix + ": " + errorString() and a line end to standard error.
    void perror(const MString& prefix = MString()) const;

private:
    MS::MStatusCode code_ = MS::kSuccess;
    MString text_;
};
