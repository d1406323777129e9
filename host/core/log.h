#pragma once

#include <string>
#include <vector>

namespace host {

// Recorded: an interface command or stub procedure the headless host only
// records; kept for --log, not printed.
enum class LogKind { Info, Warning, Error, Print, Echo, Recorded };

struct LogRecord {
    LogKind kind;
    std::string text;
    std::string command;  // the command that raised it, when known
    std::string where;    // "file:line" of the script or scene-file statement running, for errors
};

// Everything shown to the user: recorded for tests and --log, printed as it
// comes (print to standard output, the rest to standard error with a prefix).
class Log {
public:
    void add(LogKind kind, const std::string& text, const std::string& command = {});
    const std::vector<LogRecord>& records() const { return records_; }
    void clear() {
        records_.clear();
        file_.clear();
        line_ = 0;
    }
    bool contains(LogKind kind, const std::string& fragment) const;
    std::size_t count(LogKind kind) const;
    // One line per record, with the kind prefix.
    std::string text() const;
    void setQuiet(bool quiet) { quiet_ = quiet; }
    // The script or scene file running and its statement's line: errors
    // raised meanwhile start with "file:line: ". No file, no prefix.
    void setLocation(const std::string& file, int line) {
        file_ = file;
        line_ = line;
    }
    void setLine(int line) { line_ = line; }
    const std::string& locationFile() const { return file_; }
    int locationLine() const { return line_; }

    static std::string prefix(LogKind kind);

private:
    std::vector<LogRecord> records_;
    bool quiet_ = false;
    std::string file_;
    int line_ = 0;
};

}  // namespace host
