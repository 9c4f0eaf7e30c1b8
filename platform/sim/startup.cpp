#include "platform/sim/startup.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "launcher/startup_sequence.h"

namespace sim {
namespace {

// The child's end of the pipe, written by the exit handler.
int reportFd = -1;

class Writer {
  public:
    void U32(uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes_ += static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    }
    void U64(uint64_t value) {
        U32(static_cast<uint32_t>(value));
        U32(static_cast<uint32_t>(value >> 32));
    }
    void Text(const std::u16string& text) {
        U32(static_cast<uint32_t>(text.size()));
        for (char16_t c : text) {
            U32(c);
        }
    }
    void Bytes(const std::string& text) {
        U32(static_cast<uint32_t>(text.size()));
        bytes_ += text;
    }
    const std::string& Bytes() const {
        return bytes_;
    }

  private:
    std::string bytes_;
};

class Reader {
  public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}
    uint32_t U32() {
        if (bytes_.size() - at_ < 4) {
            throw std::runtime_error("the run's record is cut short");
        }
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes_[at_++])) << (8 * i);
        }
        return value;
    }
    uint64_t U64() {
        const uint64_t low = U32();
        return low | static_cast<uint64_t>(U32()) << 32;
    }
    std::u16string Text() {
        std::u16string text(U32(), u'\0');
        for (char16_t& c : text) {
            c = static_cast<char16_t>(U32());
        }
        return text;
    }
    std::string Bytes() {
        const uint32_t size = U32();
        if (bytes_.size() - at_ < size) {
            throw std::runtime_error("the run's record is cut short");
        }
        at_ += size;
        return bytes_.substr(at_ - size, size);
    }

  private:
    const std::string& bytes_;
    size_t at_ = 0;
};

std::string Encode(const Record& record) {
    Writer out;
    out.U32(static_cast<uint32_t>(record.trail.size()));
    for (const std::u16string& line : record.trail) {
        out.Text(line);
    }
    out.U32(static_cast<uint32_t>(record.events.size()));
    for (const Event& event : record.events) {
        const ShellRequest& r = event.request;
        out.U32(static_cast<uint32_t>(event.kind));
        out.U32(event.milliseconds);
        out.U32(r.size);
        out.U32(r.mask);
        out.Text(r.verb);
        out.Text(r.file);
        out.U32(r.hasParameters);
        out.U32(r.hasDirectory);
        out.U32(static_cast<uint32_t>(r.show));
        out.U32(r.accepted);
        out.U32(r.devicesSize);
        out.Text(r.parameters);
        out.U32(static_cast<uint32_t>(r.outcome));
        out.U32(r.error);
        out.U32(r.instApp);
        out.U32(r.process);
        out.Bytes(r.reason);
        out.Text(r.boxText);
        out.Text(r.boxCaption);
        out.U32(r.boxFlags);
        out.U64(event.beganNs);
        out.U64(event.endedNs);
        out.U32(event.deviceMs);
    }
    const CallCounts& c = record.calls;
    for (uint32_t count : {c.moduleQueries, c.keyOpens, c.valueQueries, c.keyCloses, c.searches,
                           c.searchCloses, c.shellRequests, c.sleeps}) {
        out.U32(count);
    }
    out.U32(record.keysLeftOpen);
    out.U32(record.searchesLeftOpen);
    out.U32(record.endMs);
    out.Bytes(record.fault);
    out.U64(record.processor.instructions);
    out.U32(record.processor.deepestStack);
    out.U32(record.processor.callsFromThumb);
    out.U32(record.processor.kernelCalls);
    out.U32(static_cast<uint32_t>(record.moduleLines.size()));
    for (const std::u16string& line : record.moduleLines) {
        out.Text(line);
    }
    out.Bytes(record.stopped);
    return out.Bytes();
}

Record Decode(const std::string& bytes) {
    Reader in(bytes);
    Record record;
    record.trail.resize(in.U32());
    for (std::u16string& line : record.trail) {
        line = in.Text();
    }
    record.events.resize(in.U32());
    for (Event& event : record.events) {
        ShellRequest& r = event.request;
        event.kind = static_cast<Event::Kind>(in.U32());
        event.milliseconds = in.U32();
        r.size = in.U32();
        r.mask = in.U32();
        r.verb = in.Text();
        r.file = in.Text();
        r.hasParameters = in.U32() != 0;
        r.hasDirectory = in.U32() != 0;
        r.show = static_cast<int>(in.U32());
        r.accepted = in.U32() != 0;
        r.devicesSize = in.U32() != 0;
        r.parameters = in.Text();
        r.outcome = static_cast<ShellOutcome>(in.U32());
        r.error = in.U32();
        r.instApp = in.U32();
        r.process = in.U32();
        r.reason = in.Bytes();
        r.boxText = in.Text();
        r.boxCaption = in.Text();
        r.boxFlags = in.U32();
        event.beganNs = in.U64();
        event.endedNs = in.U64();
        event.deviceMs = in.U32();
    }
    CallCounts& c = record.calls;
    for (uint32_t* count : {&c.moduleQueries, &c.keyOpens, &c.valueQueries, &c.keyCloses,
                            &c.searches, &c.searchCloses, &c.shellRequests, &c.sleeps}) {
        *count = in.U32();
    }
    record.keysLeftOpen = in.U32();
    record.searchesLeftOpen = in.U32();
    record.endMs = in.U32();
    record.fault = in.Bytes();
    record.processor.instructions = in.U64();
    record.processor.deepestStack = in.U32();
    record.processor.callsFromThumb = in.U32();
    record.processor.kernelCalls = in.U32();
    record.moduleLines.resize(in.U32());
    for (std::u16string& line : record.moduleLines) {
        line = in.Text();
    }
    record.stopped = in.Bytes();
    return record;
}

// Registered in the child only: the exit routine runs it before the process ends.
void ReportAtExit() {
    Device& device = CurrentDevice();
    CloseRecord(device);
    const std::string bytes = Encode(device.record);
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(reportFd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        written += static_cast<size_t>(n);
    }
    close(reportFd);
}

[[noreturn]] void RunChild(EntryPoint entry) {
    CurrentDevice().record = Record();
    CurrentDevice().clockMs = 0;  // the device's time counts from the program's start
    atexit(ReportAtExit);
    static WCHAR commandLine[] = u"";
    // The instance handle only identifies the program to the module-path query.
    const int status =
        entry(reinterpret_cast<HINSTANCE>(uintptr_t{0x10000}), nullptr, commandLine, SW_SHOW);
    exit(status);
}

}  // namespace

RunResult RunLauncher() {
    return RunProgram(StartupSequence);
}

RunResult RunProgram(EntryPoint entry) {
    int fds[2];
    if (pipe(fds) != 0) {
        throw std::runtime_error("cannot create a pipe");
    }
    // Anything still buffered would otherwise be written twice, once by each process.
    fflush(stdout);
    fflush(stderr);
    const pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        throw std::runtime_error("cannot start a process");
    }
    if (child == 0) {
        close(fds[0]);
        reportFd = fds[1];
        RunChild(entry);
    }
    close(fds[1]);
    std::string bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);

    int wait = 0;
    while (waitpid(child, &wait, 0) < 0 && errno == EINTR) {
    }
    RunResult result;
    result.exited = WIFEXITED(wait);
    result.status = result.exited ? WEXITSTATUS(wait) : -1;
    result.signal = WIFSIGNALED(wait) ? WTERMSIG(wait) : 0;
    if (!bytes.empty()) {
        result.record = Decode(bytes);
    }
    return result;
}

}  // namespace sim
