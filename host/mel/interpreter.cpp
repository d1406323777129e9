#include "host/mel/interpreter.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "host/api/argList.h"
#include "host/api/pxCommand.h"
#include "host/core/runtime.h"

namespace host::mel {

bool Arg::isFlag() const {
    return !quoted && text.size() >= 2 && text[0] == '-' && std::isalpha(static_cast<unsigned char>(text[1]));
}

// Every token list runs once, so a command may take its words' text out of the tokens.
struct Interpreter::Cursor {
    std::vector<Token>& t;
    std::size_t i = 0;
    const Token& peek(std::size_t ahead = 0) const { return t[std::min(i + ahead, t.size() - 1)]; }
    const Token& next() { return t[std::min(i++, t.size() - 1)]; }
    // The next token's text, taken out of it; the cursor moves past it.
    std::string takeText() { return std::move(t[std::min(i++, t.size() - 1)].text); }
    bool at(TokenKind k) const { return peek().kind == k; }
    bool atWord(const char* w) const { return peek().kind == TokenKind::Word && peek().text == w; }
    bool atEnd() const { return at(TokenKind::End); }
};

// The source a run reads: errors raised meanwhile name its file and the line
// of the statement running. The outer location comes back when the run ends.
class Interpreter::Unit {
public:
    explicit Unit(const std::string& file)
        : file_(runtime().log.locationFile()), line_(runtime().log.locationLine()) {
        runtime().log.setLocation(file, 0);
    }
    ~Unit() { runtime().log.setLocation(file_, line_); }
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;

private:
    std::string file_;
    int line_;
};

namespace {

// Braces and parentheses open at once (each costs the interpreter stack), and
// procedure calls plus sourced files running at once.
constexpr int kMaxNesting = 256;
constexpr int kMaxDepth = 64;

// One level of nesting, counted while it is open.
class Level {
public:
    explicit Level(int& depth) : depth_(++depth) {}
    ~Level() { --depth_; }
    Level(const Level&) = delete;
    Level& operator=(const Level&) = delete;

private:
    int& depth_;
};

std::string onLine(int line) { return " on line " + std::to_string(line); }

bool isNumber(const std::string& s, bool& integral) {
    if (s.empty()) return false;
    integral = MString(s).isInt();
    return integral || MString(s).isDouble();
}

Result literal(const Token& t) {
    bool integral = false;
    if (t.kind == TokenKind::Word && isNumber(t.text, integral)) {
        if (integral) return MString(t.text).asInt();
        return MString(t.text).asDouble();
    }
    return t.text;
}

// Converts a value to a variable's declared type.
Result coerce(const std::string& type, bool array, const Result& v) {
    const auto words = resultWords(v);
    if (array) {
        if (type == "int") {
            std::vector<int> out;
            for (const auto& w : words) out.push_back(MString(w).asInt());
            return out;
        }
        if (type == "float") {
            std::vector<double> out;
            for (const auto& w : words) out.push_back(MString(w).asDouble());
            return out;
        }
        return words;
    }
    const std::string first = words.empty() ? std::string() : words.front();
    if (type == "int") return MString(first).asInt();
    if (type == "float") return MString(first).asDouble();
    return std::holds_alternative<std::string>(v) ? v : Result(first);
}

}  // namespace

Interpreter::Interpreter() {
    addBuiltins(builtins_);
    addSceneBuiltins(builtins_);
    addDagBuiltins(builtins_);
    addTimeBuiltins(builtins_);
    addMakeBuiltins(builtins_);
    addShadingBuiltins(builtins_);
    addMeshBuiltins(builtins_);
    addFileBuiltins(builtins_);
}

void Interpreter::record(const std::string& name, const std::vector<Arg>& args) {
    std::string line = name;
    for (const Arg& a : args) line += " " + a.text;
    runtime().log.add(LogKind::Recorded, line);
    recorded_.push_back(std::move(line));
}

void Interpreter::clear() {
    recorded_.clear();
    procs_.clear();
    globals_.clear();
    locals_.clear();
    undoable_ = false;
    depth_ = 0;
    nesting_ = 0;
}

MStatus Interpreter::fail(const std::string& text) {
    runtime().reportError(text);
    return MStatus(MS::kFailure, text);
}

MStatus Interpreter::tokens(const std::string& source, std::vector<Token>& out) {
    std::string error;
    int line = 0;
    out = tokenize(source, &error, &line);
    if (error.empty()) {
        // A block or procedure body left open is refused before any statement runs.
        std::vector<int> open;
        for (const Token& t : out) {
            if (t.kind == TokenKind::LBrace) open.push_back(t.line);
            if (t.kind == TokenKind::RBrace && !open.empty()) open.pop_back();
        }
        if (open.empty()) return MS::kSuccess;
        line = open.back();
        error = "the block opened" + onLine(line) + " is not closed";
    }
    runtime().log.setLine(line);
    return fail("Syntax error: " + error);
}

MStatus Interpreter::run(const std::string& source, bool undoable, Result* result) {
    const Unit unit({});
    std::vector<Token> list;
    if (MStatus st = tokens(source, list); !st) return st;
    const bool outer = undoable_;
    undoable_ = undoable;
    const MStatus st = runTokens(list, result, false);
    undoable_ = outer;
    return st;
}

MStatus Interpreter::runScript(const std::string& source, const std::string& file) {
    const Unit unit(file);
    std::vector<Token> list;
    if (MStatus st = tokens(source, list); !st) return st;
    const bool outer = undoable_;
    undoable_ = true;
    const MStatus st = runTokens(list, nullptr, true);
    undoable_ = outer;
    return st;
}

MStatus Interpreter::parseFile(const std::string& source, const std::map<std::string, Builtin>& commands,
                               const std::string& file, const std::function<MStatus(const FileStatement&)>& visit,
                               bool withArgs) {
    const auto at = [&](int line) { return file + ":" + std::to_string(line) + ": "; };
    Lexer lexer(source);
    std::string error;
    int errorLine = 0;
    MStatus verdict = MS::kSuccess;
    FileStatement statement;
    bool open = false;  // a statement's words are being read
    Token t{TokenKind::End, {}};
    for (;;) {
        // A text that does not split into words fails as such, wherever it breaks.
        if (!lexer.next(t, &error, &errorLine, !open || withArgs))
            return MStatus(MS::kFailure, at(errorLine) + error);
        if (t.kind == TokenKind::End) break;
        if (!verdict) continue;
        if (!open) {
            if (t.kind == TokenKind::Semicolon) continue;
            if (t.kind != TokenKind::Word || !commands.count(t.text)) {
                verdict = MStatus(MS::kFailure, at(t.line) + "'" + t.text + "' is not a scene-file statement");
                continue;
            }
            statement.command = std::move(t.text);
            statement.args.clear();
            statement.line = t.line;
            open = true;
        } else if (t.kind == TokenKind::Semicolon) {
            open = false;
            verdict = visit(statement);
        } else if (t.kind != TokenKind::Word && t.kind != TokenKind::String) {
            verdict = MStatus(MS::kFailure, at(statement.line) + "unexpected '" + t.text + "'");
        } else if (withArgs) {
            statement.args.push_back(Arg{std::move(t.text), t.kind == TokenKind::String, t.line});
        }
    }
    if (verdict && open)
        return MStatus(MS::kFailure, at(statement.line) + "'" + statement.command +
                                         "' does not end with ';': the file is cut short");
    return verdict;
}

MStatus Interpreter::runFile(const std::string& source, const std::map<std::string, Builtin>& commands,
                             const std::string& file) {
    const Unit unit(file);
    return parseFile(source, commands, file, [&](const FileStatement& s) {
        runtime().log.setLine(s.line);
        Result ignored;
        if (const MStatus st = commands.at(s.command)(*this, s.args, ignored); !st)
            return MStatus(MS::kFailure, file + ":" + std::to_string(s.line) + ": " + st.errorString().str());
        return MStatus(MS::kSuccess);
    });
}

MStatus Interpreter::runTokens(std::vector<Token>& tokens, Result* result, bool topLevel) {
    Cursor c{tokens};
    Result last;
    while (!c.atEnd()) {
        if (c.at(TokenKind::Semicolon)) {
            c.next();
            continue;
        }
        last = std::monostate{};
        const MStatus st = statement(c, last);
        if (topLevel) runtime().idle.flush();
        if (!st) return st;
    }
    if (result) *result = last;
    return MS::kSuccess;
}

bool Interpreter::enter(Cursor& c, MStatus& st) {
    if (nesting_ < kMaxNesting) return true;
    st = fail("Syntax error: more than " + std::to_string(kMaxNesting) + " braces or parentheses open at once" +
              onLine(c.peek().line));
    return false;
}

MStatus Interpreter::statement(Cursor& c, Result& result) {
    const Token& t = c.peek();
    runtime().log.setLine(t.line);
    if (t.kind == TokenKind::LBrace) {
        MStatus st;
        if (!enter(c, st)) return st;
        const Level level(nesting_);
        c.next();
        while (!c.atEnd() && !c.at(TokenKind::RBrace)) {
            if (c.at(TokenKind::Semicolon)) {
                c.next();
                continue;
            }
            st = statement(c, result);
            if (!st) return st;
        }
        runtime().log.setLine(t.line);
        if (c.atEnd()) return fail("Syntax error: the block opened" + onLine(t.line) + " is not closed");
        c.next();
        return MS::kSuccess;
    }
    if (t.kind == TokenKind::Variable && c.peek(1).kind == TokenKind::Equals) {
        const std::string name = c.next().text;
        c.next();
        return assignment(c, name);
    }
    if (t.kind != TokenKind::Word) return fail("Syntax error near '" + t.text + "' on line " + std::to_string(t.line));
    if (t.text == "global" && c.peek(1).kind == TokenKind::Word && c.peek(1).text == "proc") {
        c.next();
        return procDefinition(c);
    }
    if (t.text == "proc") return procDefinition(c);
    if (t.text == "global") {
        c.next();
        return declaration(c, true);
    }
    if (t.text == "string" || t.text == "int" || t.text == "float") return declaration(c, depth_ == 0);
    if (t.text == "print") return print(c);
    return command(c, result);
}

MStatus Interpreter::procDefinition(Cursor& c) {
    const int start = c.next().line;  // proc
    if (c.at(TokenKind::Word) && c.peek(1).kind == TokenKind::Word) c.next();  // return type
    if (!c.at(TokenKind::Word)) return fail("Syntax error in procedure definition");
    const std::string name = c.next().text;
    if (!c.at(TokenKind::LParen)) return fail("Syntax error in procedure '" + name + "'");
    while (!c.atEnd() && !c.at(TokenKind::RParen)) c.next();
    c.next();
    if (!c.at(TokenKind::LBrace)) return fail("Syntax error in procedure '" + name + "'");
    c.next();
    Proc proc{{}, runtime().log.locationFile()};
    bool closed = false;
    for (int depth = 1; !c.atEnd();) {
        const Token& t = c.next();
        if (t.kind == TokenKind::LBrace) ++depth;
        if (t.kind == TokenKind::RBrace && --depth == 0) {
            closed = true;
            break;
        }
        proc.body.push_back(t);
    }
    if (!closed) return fail("Syntax error: the body of procedure '" + name + "' begun" + onLine(start) + " is not closed");
    proc.body.push_back(Token{TokenKind::End, {}, 0, true});
    procs_[name] = std::move(proc);
    return MS::kSuccess;
}

MStatus Interpreter::declaration(Cursor& c, bool global) {
    const std::string type = c.next().text;
    if (type != "string" && type != "int" && type != "float") return fail("Unknown type '" + type + "'");
    while (c.at(TokenKind::Variable)) {
        std::string name = c.next().text;
        bool array = false;
        if (name.size() > 2 && name.compare(name.size() - 2, 2, "[]") == 0) {
            array = true;
            name.resize(name.size() - 2);
        }
        auto& scope = global || locals_.empty() ? globals_ : locals_.back();
        const bool exists = scope.count(name) != 0;
        Variable& v = scope[name];
        if (!exists) {
            v.type = type;
            v.array = array;
            v.value = coerce(type, array, Result());
        }
        if (c.at(TokenKind::Equals)) {
            c.next();
            Result value;
            if (c.at(TokenKind::LBrace)) {
                const int start = c.next().line;
                std::vector<std::string> items;
                while (!c.atEnd() && !c.at(TokenKind::RBrace)) {
                    if (c.at(TokenKind::Comma)) {
                        c.next();
                        continue;
                    }
                    Result item;
                    const MStatus st = expression(c, item);
                    if (!st) return st;
                    for (auto& w : resultWords(item)) items.push_back(w);
                }
                if (c.atEnd()) return fail("Syntax error: the list opened" + onLine(start) + " is not closed");
                c.next();
                value = items;
            } else {
                const MStatus st = expression(c, value);
                if (!st) return st;
            }
            v.value = coerce(v.type, v.array, value);
        }
        if (c.at(TokenKind::Comma)) c.next();
    }
    if (c.at(TokenKind::Semicolon)) c.next();
    return MS::kSuccess;
}

MStatus Interpreter::assignment(Cursor& c, const std::string& name) {
    Result value;
    const MStatus st = expression(c, value);
    if (!st) return st;
    Variable* v = variable(name);
    if (!v) {
        auto& scope = locals_.empty() ? globals_ : locals_.back();
        Variable& fresh = scope[name];
        fresh.type = std::holds_alternative<int>(value)      ? "int"
                     : std::holds_alternative<double>(value) ? "float"
                                                             : "string";
        fresh.value = value;
    } else {
        v->value = coerce(v->type, v->array, value);
    }
    if (c.at(TokenKind::Semicolon)) c.next();
    return MS::kSuccess;
}

Interpreter::Variable* Interpreter::variable(const std::string& name) {
    if (!locals_.empty())
        if (auto it = locals_.back().find(name); it != locals_.back().end()) return &it->second;
    auto it = globals_.find(name);
    return it == globals_.end() ? nullptr : &it->second;
}

MStatus Interpreter::print(Cursor& c) {
    c.next();  // print
    Result value;
    const MStatus st = expression(c, value);
    if (!st) return st;
    if (c.at(TokenKind::Semicolon)) c.next();
    runtime().log.add(LogKind::Print, resultText(value));
    return MS::kSuccess;
}

MStatus Interpreter::expression(Cursor& c, Result& value) {
    MStatus st = term(c, value);
    while (st && c.at(TokenKind::Plus)) {
        c.next();
        Result rhs;
        st = term(c, rhs);
        value = resultText(value) + resultText(rhs);
    }
    return st;
}

MStatus Interpreter::term(Cursor& c, Result& value) {
    const Token& t = c.next();
    switch (t.kind) {
        case TokenKind::String: value = t.text; return MS::kSuccess;
        case TokenKind::Word: value = literal(t); return MS::kSuccess;
        case TokenKind::Backquote: return backquote(t, value);
        case TokenKind::Variable: {
            std::string name = t.text;
            int index = -1;
            if (const auto b = name.find('['); b != std::string::npos) {
                index = std::atoi(name.substr(b + 1).c_str());
                name = name.substr(0, b);
            }
            Variable* v = variable(name);
            if (!v) return fail("\"" + name + "\" is an undeclared variable.");
            if (index < 0) {
                value = v->value;
            } else {
                const auto words = resultWords(v->value);
                value = index < static_cast<int>(words.size()) ? coerce(v->type, false, words[index]) : Result();
            }
            return MS::kSuccess;
        }
        case TokenKind::LParen: {
            MStatus st;
            if (!enter(c, st)) return st;
            const Level level(nesting_);
            st = expression(c, value);
            if (!st) return st;
            if (!c.at(TokenKind::RParen)) return fail("Syntax error: ')' expected for the '('" + onLine(t.line));
            c.next();
            return MS::kSuccess;
        }
        default: return fail("Syntax error near '" + t.text + "' on line " + std::to_string(t.line));
    }
}

MStatus Interpreter::backquote(const Token& quote, Result& value) {
    std::vector<Token> list;
    if (MStatus st = tokens(quote.text, list); !st) return st;
    for (Token& t : list) t.line += quote.line - 1;  // lines of the file the backquote is in
    return runTokens(list, &value, false);
}

MStatus Interpreter::command(Cursor& c, Result& result) {
    const std::string name = c.next().text;
    std::vector<Arg> args;
    // Room for every word up to the end of the statement at most.
    std::size_t words = 0;
    while (words < 256 && c.peek(words).kind != TokenKind::Semicolon && c.peek(words).kind != TokenKind::End) ++words;
    args.reserve(words);
    auto addValue = [&](const Result& v, bool quoted) {
        if (std::holds_alternative<std::string>(v)) {
            args.push_back(Arg{std::get<std::string>(v), true});
            return;
        }
        for (auto& w : resultWords(v)) args.push_back(Arg{w, quoted});
    };
    if (c.at(TokenKind::LParen) && !c.peek().spaceBefore) {
        // name(a, b): arguments are expressions.
        MStatus st;
        if (!enter(c, st)) return st;
        const Level level(nesting_);
        const int start = c.next().line;
        while (!c.atEnd() && !c.at(TokenKind::RParen)) {
            if (c.at(TokenKind::Comma)) {
                c.next();
                continue;
            }
            Result v;
            st = expression(c, v);
            if (!st) return st;
            addValue(v, false);
        }
        if (c.atEnd()) return fail("Syntax error: ')' expected for the '('" + onLine(start));
        c.next();
    } else {
        while (!c.atEnd() && !c.at(TokenKind::Semicolon) && !c.at(TokenKind::RBrace)) {
            const Token& t = c.peek();
            if (t.kind == TokenKind::Word) {
                args.push_back(Arg{c.takeText(), false});
            } else if (t.kind == TokenKind::String) {
                args.push_back(Arg{c.takeText(), true});
            } else if (t.kind == TokenKind::LParen && c.peek(1).kind == TokenKind::RParen && args.empty()) {
                c.next();
                c.next();
            } else if (t.kind == TokenKind::Plus || t.kind == TokenKind::Equals || t.kind == TokenKind::Comma) {
                args.push_back(Arg{c.next().text, false});
            } else {
                Result v;
                const MStatus st = term(c, v);
                if (!st) return st;
                addValue(v, false);
            }
        }
    }
    if (c.at(TokenKind::Semicolon)) c.next();
    return call(name, args, result);
}

MStatus Interpreter::call(const std::string& name, const std::vector<Arg>& args, Result& result) {
    if (const auto b = builtins_.find(name); b != builtins_.end()) return b->second(*this, args, result);
    Runtime& rt = runtime();
    if (const CommandType* ct = rt.registry.findCommand(name)) {
        MArgList list;
        for (const auto& a : args) list.append(a.text, a.quoted);
        auto* raw = static_cast<MPxCommand*>(ct->creator ? ct->creator() : nullptr);
        if (!raw) return fail("Cannot create command '" + name + "'.");
        std::unique_ptr<MPxCommand> cmd(raw);
        cmd->setCommandName(name);
        const std::size_t errorsBefore = rt.log.count(LogKind::Error);
        rt.resultStack.push_back(&result);
        rt.commandStack.push_back(name);
        const MStatus st = cmd->doIt(list);
        rt.commandStack.pop_back();
        rt.resultStack.pop_back();
        if (!st) {
            if (rt.log.count(LogKind::Error) == errorsBefore)
                rt.log.add(LogKind::Error, name + ": " + st.errorString().str(), name);
            return st;
        }
        if (cmd->isUndoable() && undoable_ && rt.undo.recording) rt.undo.push(std::move(cmd));
        return MS::kSuccess;
    }
    if (const auto p = procs_.find(name); p != procs_.end()) {
        if (depth_ >= kMaxDepth) return fail("Procedure calls nested too deeply in '" + name + "'.");
        record(name, args);
        const Level level(depth_);
        Proc proc = p->second;  // a proc may redefine itself
        const Unit unit(proc.file);
        locals_.emplace_back();
        const MStatus st = runTokens(proc.body, &result, false);
        locals_.pop_back();
        return st;
    }
    return fail("Cannot find procedure \"" + name + "\".");
}

std::string Interpreter::findScript(const std::string& file) const {
    struct stat sb {};
    if (!file.empty() && file[0] == '/') return stat(file.c_str(), &sb) == 0 && S_ISREG(sb.st_mode) ? file : std::string();
    for (const auto& dir : runtime().options.scriptPath) {
        const std::string path = dir + "/" + file;
        if (stat(path.c_str(), &sb) == 0 && S_ISREG(sb.st_mode)) return path;
    }
    if (stat(file.c_str(), &sb) == 0 && S_ISREG(sb.st_mode)) return file;
    return {};
}

MStatus Interpreter::source(const std::string& file) {
    const std::string path = findScript(file);
    struct stat sb {};
    if (path.empty() && stat(file.c_str(), &sb) == 0 && !S_ISREG(sb.st_mode))
        return fail("Cannot source \"" + file + "\": not a regular file.");
    if (path.empty()) return fail("Cannot find file \"" + file + "\" for source statement.");
    if (depth_ >= kMaxDepth) return fail("Files sourced too deeply at \"" + file + "\".");
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    const Level level(depth_);
    const Unit unit(path);
    std::vector<Token> list;
    if (MStatus st = tokens(ss.str(), list); !st) return st;
    return runTokens(list, nullptr, false);
}

}  // namespace host::mel
