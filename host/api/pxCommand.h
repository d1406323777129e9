#pragma once

#include "host/api/argList.h"
#include "host/api/status.h"
#include "host/api/syntax.h"
#include "host/api/vectors.h"

// Base of module commands. The host makes one object per call with the
// registered creator; an undoable one that succeeded enters the undo queue.
class MPxCommand {
public:
    MPxCommand() = default;
    MPxCommand(const MPxCommand&) = delete;
    MPxCommand& operator=(const MPxCommand&) = delete;
    virtual ~MPxCommand() = default;

    virtual MStatus doIt(const MArgList& args) = 0;
    virtual MStatus undoIt() { return MS::kFailure; }
    virtual MStatus redoIt() { return MS::kFailure; }
    virtual bool isUndoable() const { return false; }
    virtual bool hasSyntax() const { return true; }

    // The syntax registered with the command.
    MSyntax syntax() const;

    static void setResult(bool v);
    static void setResult(int v);
    static void setResult(double v);
    static void setResult(const MString& v);
    static void setResult(const char* v) { setResult(MString(v)); }
    static void setResult(const MStringArray& v);
    static void setResult(const MIntArray& v);
    static void setResult(const MDoubleArray& v);
    static void appendToResult(const MString& v);
    static void appendToResult(double v);
    static void clearResult();

    static void displayInfo(const MString& text);
    static void displayWarning(const MString& text, bool showLineNumber = false);
    static void displayError(const MString& text, bool showLineNumber = false);

    // Host side.
    void setCommandName(const std::string& name) { name_ = name; }

private:
    std::string name_;
};
