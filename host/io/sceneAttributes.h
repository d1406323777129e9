#pragma once

#include <cstddef>
#include <ostream>
#include <vector>

#include "host/api/status.h"
#include "host/core/attribute.h"
#include "host/mel/interpreter.h"

// Dynamic attribute definitions in scene files: one "addAttr" per attribute,
// children after their parent ("-nc" counts them, "-p" names the parent).
namespace host::io {

// The attribute and, after it, each of its children; false when a default or a
// bound is not a finite number (written all the same: the caller drops the text).
bool writeAttributeDefinition(std::ostream& out, const Attribute& attr, const Attribute* parent);

// Levels of compound attributes a file may nest (a top-level attribute is level 1).
inline constexpr std::size_t kMaxAttributeDepth = 32;

// Definitions read one by one; a compound is complete once all its children came.
class AttributeBuilder {
public:
    // Parses one definition. `done` receives the top-level attribute once it is
    // complete (null while children are still to come).
    MStatus add(const std::vector<mel::Arg>& args, AttributePtr& done);
    bool pending() const { return !open_.empty(); }

private:
    struct Open {
        AttributePtr attr;
        int missing = 0;
    };
    std::vector<Open> open_;  // compounds waiting for children, outermost first
};

}  // namespace host::io
