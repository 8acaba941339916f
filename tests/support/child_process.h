// Runs a program for a test: its standard output and error captured (or both
// on a pseudo-terminal), waits bounded by time, killed if it outlives the test.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct ChildOptions {
    std::vector<std::string> argv;
    std::string cwd;
    std::vector<std::pair<std::string, std::string>> set_env;
    std::vector<std::string> unset_env;
    bool terminal = false;  // standard output and error on one pseudo-terminal
    std::string stdout_path;      // standard output to this file instead ("/dev/full", say)
    std::vector<int> closed_fds;  // descriptors the program starts without
    bool nonblocking_stdout = false;  // standard output's pipe set O_NONBLOCK, as some parents do
};

class Child {
public:
    explicit Child(const ChildOptions& options);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Collects output until `ready(out)` holds (true) or `seconds` pass (false).
    bool wait_for_output(const std::function<bool(const std::string&)>& ready, double seconds);
    // Waits for the exit; false if `seconds` pass first (the child is then killed).
    bool wait_exit(double seconds);
    // Collects whatever output is waiting, without blocking.
    void drain();
    // Shrinks the standard output pipe to `bytes` (a page at least), so a
    // child whose output is left unread soon waits to write; false if it
    // could not (a pseudo-terminal, say).
    bool set_output_pipe_bytes(int bytes);
    // Bytes written to standard output and not collected yet.
    size_t unread_output_bytes() const;
    // Closes the reading end of standard output, as a reader that has seen
    // enough does (head -c, grep -m1): the program's next writes find no reader.
    void close_out();
    bool running();  // not yet exited
    void send_signal(int signal);

    bool exited_normally() const { return exited_ && WIFEXITED(status_); }
    int exit_code() const { return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }
    int signal() const { return WIFSIGNALED(status_) ? WTERMSIG(status_) : 0; }
    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

private:
    bool read_some(int timeout_ms);  // false when every stream is at its end
    bool reap();

    pid_t pid_ = -1;
    int out_fd_ = -1, err_fd_ = -1;
    bool exited_ = false;
    int status_ = 0;
    std::string out_, err_;
};

// Lines of `text` (split at '\n', a '\r' before it dropped).
std::vector<std::string> lines_of(const std::string& text);
