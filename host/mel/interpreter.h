#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/api/status.h"
#include "host/core/result.h"
#include "host/mel/tokenizer.h"

namespace host::mel {

// One command argument; quoted strings are never flags.
struct Arg {
    std::string text;
    bool quoted = false;
    int line = 0;  // source line, set in file mode
    bool isFlag() const;
};

// One statement of a scene file: the command, its words and strings, its line.
struct FileStatement {
    std::string command;
    std::vector<Arg> args;
    int line = 0;
};

class Interpreter;
using Builtin = std::function<MStatus(Interpreter&, const std::vector<Arg>&, Result&)>;

// A small MEL: statements, global procs without parameters, typed variables,
// backquoted commands and print. No control flow and no arithmetic.
class Interpreter {
public:
    Interpreter();

    // Runs statements; a failing statement stops the run and its status is returned.
    // `undoable`: undoable commands run here enter the undo queue.
    MStatus run(const std::string& source, bool undoable, Result* result = nullptr);
    // Runs one statement after another at top level, flushing the idle queue after each.
    // Errors meanwhile start with "file:line: " (`file` names the script).
    MStatus runScript(const std::string& source, const std::string& file = {});
    // File mode, in two steps so that a broken file is refused before anything
    // runs. Parsing checks that every statement is one of `commands` with words
    // and strings for arguments (no variables, backquotes, procs or other
    // commands), so reading a file can only build a scene, and that every
    // statement ends with ';' (a file cut short does not); it hands each statement
    // to `visit`, in order, until one fails (without its arguments unless `withArgs`,
    // which spares a check their words). Running reads the text again and runs
    // each statement as it comes, so neither step holds more than one statement of a
    // long file. Running queues nothing for undo and does not flush the idle queue.
    // Failures start with "file:line: ", the statement's first line.
    static MStatus parseFile(const std::string& source, const std::map<std::string, Builtin>& commands,
                             const std::string& file, const std::function<MStatus(const FileStatement&)>& visit,
                             bool withArgs = true);
    MStatus runFile(const std::string& source, const std::map<std::string, Builtin>& commands,
                    const std::string& file);
    // Finds the file on the script path and runs it.
    MStatus source(const std::string& file);
    std::string findScript(const std::string& file) const;
    // A built-in, a registered command or a proc.
    MStatus call(const std::string& name, const std::vector<Arg>& args, Result& result);

    bool hasProc(const std::string& name) const { return procs_.count(name) != 0; }
    bool isBuiltin(const std::string& name) const { return builtins_.count(name) != 0; }
    bool undoable() const { return undoable_; }
    void clear();

    // Interface commands and proc calls, one line each ("name arg arg"), kept here and in
    // the runtime's log (so --log holds them too).
    void record(const std::string& name, const std::vector<Arg>& args);
    const std::vector<std::string>& recorded() const { return recorded_; }

private:
    struct Variable {
        std::string type;  // "string", "int", "float"
        bool array = false;
        Result value;
    };
    struct Cursor;
    struct Proc {
        std::vector<Token> body;
        std::string file;  // where it was defined, for error locations
    };
    class Unit;

    MStatus runTokens(std::vector<Token>& tokens, Result* result, bool topLevel);
    MStatus statement(Cursor& c, Result& result);
    MStatus declaration(Cursor& c, bool global);
    MStatus assignment(Cursor& c, const std::string& name);
    MStatus procDefinition(Cursor& c);
    MStatus print(Cursor& c);
    MStatus command(Cursor& c, Result& result);
    MStatus expression(Cursor& c, Result& value);
    MStatus term(Cursor& c, Result& value);
    MStatus backquote(const Token& quote, Result& value);
    Variable* variable(const std::string& name);
    MStatus fail(const std::string& text);
    MStatus tokens(const std::string& source, std::vector<Token>& out);
    // Counts one more level of braces or parentheses; false past the limit.
    bool enter(Cursor& c, MStatus& st);

    std::map<std::string, Builtin> builtins_;
    std::map<std::string, Proc> procs_;
    std::map<std::string, Variable> globals_;
    std::vector<std::map<std::string, Variable>> locals_;
    std::vector<std::string> recorded_;
    bool undoable_ = false;
    int depth_ = 0;    // procedure calls and sourced files running
    int nesting_ = 0;  // braces and parentheses open, across calls
};

void addBuiltins(std::map<std::string, Builtin>& table);
void addSceneBuiltins(std::map<std::string, Builtin>& table);
void addDagBuiltins(std::map<std::string, Builtin>& table);
void addTimeBuiltins(std::map<std::string, Builtin>& table);
void addMakeBuiltins(std::map<std::string, Builtin>& table);
void addShadingBuiltins(std::map<std::string, Builtin>& table);
void addMeshBuiltins(std::map<std::string, Builtin>& table);
void addFileBuiltins(std::map<std::string, Builtin>& table);

}  // namespace host::mel
