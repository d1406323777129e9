#include "host/api/fnPlugin.h"

#include "host/core/runtime.h"
#include "host/mel/interpreter.h"
#include "host/view/interaction.h"

using host::runtime;

MFnPlugin::MFnPlugin(const MObject& plugin, const char* vendor, const char* version, const char*, MStatus* status)
    : plugin_(plugin) {
    host::Module* m = plugin.kind() == MObject::Kind::Plugin ? runtime().modules.find(plugin.id()) : nullptr;
    if (status) *status = m ? MStatus(MS::kSuccess) : MStatus(MS::kInvalidParameter, "not a module");
    if (!m) return;
    // The unload entry point attaches with "Unknown": that does not overwrite what load said.
    if (vendor && std::string(vendor) != "Unknown") m->vendor = vendor;
    if (version && std::string(version) != "Unknown") m->version = version;
}

MString MFnPlugin::vendor() const {
    host::Module* m = runtime().modules.find(plugin_.id());
    return m ? MString(m->vendor) : MString();
}

MString MFnPlugin::version() const {
    host::Module* m = runtime().modules.find(plugin_.id());
    return m ? MString(m->version) : MString();
}

MString MFnPlugin::name() const {
    host::Module* m = runtime().modules.find(plugin_.id());
    return m ? MString(m->name) : MString();
}

MStatus MFnPlugin::registerNode(const MString& typeName, const MTypeId& typeId, MCreatorFunction creator,
                                MInitializeFunction initialize, MPxNode::Type type, const MString* classification) {
    auto& reg = runtime().registry;
    if (reg.findType(typeName.str()) || reg.findType(typeId)) {
        const std::string text = "Failed to register node type '" + typeName.str() + "': name or id in use.";
        runtime().log.add(host::LogKind::Error, text);
        return MStatus(MS::kFailure, text);
    }
    auto t = std::make_unique<host::NodeType>();
    t->name = typeName.str();
    t->id = typeId;
    t->creator = creator;
    t->initialize = initialize;
    t->pxType = type;
    t->module = plugin_.id();
    t->apiType = type == MPxNode::kLocatorNode ? MFn::kPluginLocatorNode : MFn::kPluginDependNode;
    if (classification) t->classification = classification->str();
    t->attributes = {MPxNode::message.attribute(), MPxNode::state.attribute()};
    MStatus st;
    if (initialize) {
        runtime().initializingType = t.get();
        st = initialize();
        runtime().initializingType = nullptr;
    }
    if (!st) {
        runtime().log.add(host::LogKind::Error, "Initialization of node type '" + t->name + "' failed.");
        return st;
    }
    return reg.addType(std::move(t));
}

MStatus MFnPlugin::deregisterNode(const MTypeId& typeId) {
    host::NodeType* t = runtime().registry.findType(typeId);
    if (!t) return MStatus(MS::kFailure, "node type not registered");
    // Nodes of the type die first, while the module is still mapped; so do
    // the shown containers of a container type.
    runtime().scene.deleteAllOfType(t);
    runtime().interaction().destroyContainersOfType(t);
    runtime().registry.removeType(t);
    return MS::kSuccess;
}

MStatus MFnPlugin::registerCommand(const MString& name, MCreatorFunction creator, MCreateSyntaxFunction syntax) {
    // A built-in of the same name would always win: refuse it like a duplicate.
    const MStatus st = runtime().mel().isBuiltin(name.str())
                           ? MStatus(MS::kFailure, "command '" + name.str() + "' is built in")
                           : runtime().registry.addCommand(host::CommandType{name.str(), creator, syntax, plugin_.id()});
    if (!st) runtime().log.add(host::LogKind::Error, "Failed to register command '" + name.str() + "'.");
    return st;
}

MStatus MFnPlugin::deregisterCommand(const MString& name) { return runtime().registry.removeCommand(name.str()); }

MStatus MFnPlugin::registerContextCommand(const MString& name, MCreatorFunction creator) {
    const MStatus st = runtime().interaction().addContextCommand(name.str(), creator, plugin_.id());
    if (!st) runtime().log.add(host::LogKind::Error, "Failed to register context command '" + name.str() + "'.");
    return st;
}

MStatus MFnPlugin::deregisterContextCommand(const MString& name) {
    return runtime().interaction().removeContextCommand(name.str());
}
