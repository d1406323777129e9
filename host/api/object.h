#pragma once

#include <cstdint>
#include <memory>

#include "host/api/arrays.h"
#include "host/api/fn.h"

namespace host {
struct Attribute;
class DataObject;
}  // namespace host

// A weak handle to a host object: a node (by id, so a deleted node reads as
// null and never dangles), an attribute, a data value or a loaded module.
class MObject {
public:
    MObject() = default;

    // A node handle is null once its node is deleted.
    bool isNull() const;
    MFn::Type apiType() const;
    bool hasFn(MFn::Type type) const { return MFn::isA(apiType(), type); }
    bool operator==(const MObject& o) const;
    bool operator!=(const MObject& o) const { return !(*this == o); }

    static const MObject kNullObj;

    // Host side.
    enum class Kind : std::uint8_t { Null, Node, Attribute, Data, Plugin };
    static MObject fromNode(std::uint64_t id);
    static MObject fromAttribute(std::shared_ptr<host::Attribute> attr);
    static MObject fromData(std::shared_ptr<host::DataObject> data);
    static MObject fromPlugin(std::uint64_t moduleId);
    Kind kind() const { return kind_; }
    std::uint64_t id() const { return id_; }
    const std::shared_ptr<host::Attribute>& attribute() const { return attr_; }
    const std::shared_ptr<host::DataObject>& data() const { return data_; }

private:
    Kind kind_ = Kind::Null;
    std::uint64_t id_ = 0;
    std::shared_ptr<host::Attribute> attr_;
    std::shared_ptr<host::DataObject> data_;
};

class MObjectArray : public host::ValueArray<MObject> {
public:
    using ValueArray::ValueArray;
};
