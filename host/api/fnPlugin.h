#pragma once

#include "host/api/object.h"
#include "host/api/pxNode.h"
#include "host/api/status.h"
#include "host/api/syntax.h"
#include "host/api/typeId.h"

using MCreatorFunction = void* (*)();
using MInitializeFunction = MStatus (*)();
using MCreateSyntaxFunction = MSyntax (*)();

// Registers a module's node types and commands.
class MFnPlugin {
public:
    MFnPlugin() = default;
    MFnPlugin(const MObject& plugin, const char* vendor = "Unknown", const char* version = "Unknown",
              const char* requiredApiVersion = "Any", MStatus* status = nullptr);

    // Runs the type's initialize; addAttribute/attributeAffects work only then.
    MStatus registerNode(const MString& typeName, const MTypeId& typeId, MCreatorFunction creator,
                         MInitializeFunction initialize, MPxNode::Type type = MPxNode::kDependNode,
                         const MString* classification = nullptr);
    // Live nodes of the type are deleted first.
    MStatus deregisterNode(const MTypeId& typeId);
    MStatus registerCommand(const MString& name, MCreatorFunction creator, MCreateSyntaxFunction syntax = nullptr);
    MStatus deregisterCommand(const MString& name);
    // The creator makes an MPxContextCommand; deregistering destroys its contexts.
    MStatus registerContextCommand(const MString& name, MCreatorFunction creator);
    MStatus deregisterContextCommand(const MString& name);

    MString vendor() const;
    MString version() const;
    MString name() const;

private:
    MObject plugin_;
};
