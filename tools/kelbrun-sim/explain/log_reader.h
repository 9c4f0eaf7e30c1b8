// A debug log captured from a unit, read for the launcher's lines: the bytes as text in
// whatever form the capture wrote (a serial console's, or Platform Builder's output window
// saved to a file), each line split into what the capture put before the message (a
// timestamp, process and thread, the kernel's thread address) and the message, and the
// messages the launcher writes told from every other program's.
#ifndef KELBRUN_TOOLS_KELBRUN_SIM_EXPLAIN_LOG_READER_H
#define KELBRUN_TOOLS_KELBRUN_SIM_EXPLAIN_LOG_READER_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace explainlog {

// One line the launcher writes, as it reads in a log.
struct TrailLine {
    enum class Kind {
        kOwnPathFailed,  // "GetModuleFileName Failed [%d]."
        kOpenFailed,     // "RegOpenKeyEx Failed [%d]."
        kQueryFailed,    // "RegQueryValueEx Failed [%d]."
        kNoFolder,       // "Cannot find folder name!!!!"
        kFolder,         // "Folder name is %s"
        kCardPath,       // "SDMMCPath: %s"
        kDataPath,       // "DataStorageDestPath: %s"
        kFlashPath,      // "ResidentFlashDestPath: %s"
        kExists,         // "File %s exists"
        kNotExists,      // "File %s not exists"
        kTooLong,        // "Path too long: %s"
    };
    Kind kind = Kind::kNoFolder;
    std::u16string text;             // the %s, or the %d as written
    int code = 0;                    // the %d of a failure line
    int number = 0;                  // the log's line, from 1
    std::u16string prefix;           // what the capture put before the message
    std::optional<uint64_t> timeMs;  // a timestamp at the front of the prefix, in ms
    std::u16string process;          // "PID:..." in the prefix, when there is one

    // The message as the launcher wrote it, without its line end.
    std::u16string Message() const;
};

// A unit's loader refusing a program for a COREDLL function its image lacks:
// "ERROR: function @ Ordinal N missing in Module 'coredll.dll'".
struct LoaderRefusal {
    int number = 0;  // the log's line
    uint32_t ordinal = 0;
};

// What a log's bytes gave.
struct LogLines {
    int lineCount = 0;
    std::vector<TrailLine> trail;  // the launcher's lines, in the log's order
    std::vector<LoaderRefusal> loaderRefusals;
    // Why the bytes are no text at all (a binary file, a capture of the wrong port's speed);
    // empty when they are text.
    std::string notText;
    std::string encoding;  // "UTF-8", "UTF-16LE", "code page 1252"
    // The last line with any text, and the last timestamp the log holds: how far the log goes
    // on after the launcher's last line.
    int lastTextLine = 0;
    std::optional<uint64_t> lastTimeMs;
};

// Reads a log's bytes: UTF-16LE (with or without its byte-order mark), UTF-8 or the ANSI code
// page; lines end in CRLF, LF or CR. Never throws on any bytes.
LogLines ReadLog(std::string_view bytes, int codepage);

// The launcher's line in one line of a log, if there is one: the message found after any
// prefix, up to the line's end.
std::optional<TrailLine> RecognizeLine(std::u16string_view line);

// The ordinal of a loader's refusal in one line of a log, if the line is one.
std::optional<uint32_t> RecognizeLoaderRefusal(std::u16string_view line);

}  // namespace explainlog

#endif  // KELBRUN_TOOLS_KELBRUN_SIM_EXPLAIN_LOG_READER_H
