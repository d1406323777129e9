#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/core/value.h"

namespace host {

enum class AttrKind { Numeric, Typed, Message, Enum, Unit, Compound };

// An attribute definition, shared by every node of a type (or owned by one node
// when dynamic). Three-component numerics keep their value in the parent's slot;
// each child addresses one component.
struct Attribute : std::enable_shared_from_this<Attribute> {
    std::string longName, shortName;
    AttrKind kind = AttrKind::Numeric;
    int numericType = 0;  // MFnNumericData::Type
    int dataType = 0;     // MFnData::Type
    int unitType = 0;     // MFnUnitAttribute::Type
    Value defaultValue;

    bool readable = true, writable = true, connectable = true, storable = true, keyable = false, hidden = false;
    bool array = false, cached = true, internal = false, dynamic = false;
    std::optional<double> minValue, maxValue;
    std::vector<std::pair<std::string, int>> fields;  // enum names and values

    Attribute* parent = nullptr;
    int childIndex = -1;
    std::vector<std::shared_ptr<Attribute>> children;

    std::vector<Attribute*> affects;  // attributes this one dirties
    bool affected = false;            // some attribute dirties this one: computed
    bool added = false;               // belongs to a node type or node

    MFn::Type apiType() const;
    // The attribute whose slot holds this one's value.
    const Attribute* storage() const { return parent && parent->kind == AttrKind::Numeric ? parent : this; }
    bool isMessage() const { return kind == AttrKind::Message; }
    bool matches(std::string_view name) const { return name == longName || name == shortName; }
    // Clamps a number to the attribute's range.
    double clamp(double v) const;
};

using AttributePtr = std::shared_ptr<Attribute>;

}  // namespace host
