#include "host/api/status.h"

#include <cstdio>

MString MStatus::errorString() const {
    if (!text_.empty()) return text_;
    switch (code_) {
        case MS::kSuccess: return "Success";
        case MS::kFailure: return "Failure";
        case MS::kInsufficientMemory: return "Insufficient memory";
        case MS::kInvalidParameter: return "Invalid parameter";
        case MS::kLicenseFailure: return "License failure";
        case MS::kUnknownParameter: return "Unknown parameter";
        case MS::kNotImplemented: return "Not implemented";
        case MS::kNotFound: return "Not found";
        case MS::kEndOfFile: return "End of file";
    }
    return "Unknown status";
}

void MStatus::perror(const MString& prefix) const {
    if (prefix.empty())
        std::fprintf(stderr, "%s\n", errorString().asChar());
    else
        std::fprintf(stderr, "%s: %s\n", prefix.asChar(), errorString().asChar());
}
