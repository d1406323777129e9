#pragma once

#include "host/api/pxContext.h"

// Makes a module's tool. Calling the registered command name in MEL makes a
// context through makeObj, names it ("<command>N" unless a name is given) and
// answers the name. The host owns the context and this command with it.
class MPxContextCommand {
public:
    MPxContextCommand() = default;
    MPxContextCommand(const MPxContextCommand&) = delete;
    MPxContextCommand& operator=(const MPxContextCommand&) = delete;
    virtual ~MPxContextCommand() = default;

    virtual MPxContext* makeObj() = 0;
};
