#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "test_clock.h"

namespace {

[[noreturn]] void exec_child(const ChildOptions& options) {
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
    for (const auto& name : options.unset_env) unsetenv(name.c_str());
    for (const auto& [name, value] : options.set_env) setenv(name.c_str(), value.c_str(), 1);
    if (!options.stdout_path.empty()) {
        int out = open(options.stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || dup2(out, STDOUT_FILENO) < 0) _exit(126);
        close(out);
    }
    for (int fd : options.closed_fds) close(fd);
    if (options.nonblocking_stdout) fcntl(STDOUT_FILENO, F_SETFL, fcntl(STDOUT_FILENO, F_GETFL) | O_NONBLOCK);
    std::vector<char*> argv;
    for (const auto& arg : options.argv) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

}  // namespace

Child::Child(const ChildOptions& options) {
    if (options.terminal) {
        int master = -1;
        pid_ = forkpty(&master, nullptr, nullptr, nullptr);
        if (pid_ == 0) exec_child(options);
        out_fd_ = master;
    } else {
        int out_pipe[2], err_pipe[2];
        if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out_pipe[1], STDOUT_FILENO);
            dup2(err_pipe[1], STDERR_FILENO);
            for (int fd : {out_pipe[0], err_pipe[0], out_pipe[1], err_pipe[1]}) close(fd);
            exec_child(options);
        }
        close(out_pipe[1]);
        close(err_pipe[1]);
        out_fd_ = out_pipe[0];
        err_fd_ = err_pipe[0];
    }
    for (int fd : {out_fd_, err_fd_})
        if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

Child::~Child() {
    if (pid_ > 0 && !exited_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
    for (int fd : {out_fd_, err_fd_})
        if (fd >= 0) close(fd);
}

bool Child::read_some(int timeout_ms) {
    pollfd fds[2];
    int count = 0;
    int* owners[2];
    std::string* sinks[2];
    for (auto [fd, sink] : {std::pair{&out_fd_, &out_}, std::pair{&err_fd_, &err_}})
        if (*fd >= 0) {
            fds[count] = {*fd, POLLIN, 0};
            owners[count] = fd;
            sinks[count++] = sink;
        }
    if (count == 0) return false;
    if (poll(fds, count, timeout_ms) <= 0) return true;
    char buffer[65536];
    for (int i = 0; i < count; i++) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        ssize_t n;
        while ((n = read(fds[i].fd, buffer, sizeof buffer)) > 0) sinks[i]->append(buffer, n);
        // End of stream (a pseudo-terminal reports EIO once the child is gone).
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            close(*owners[i]);
            *owners[i] = -1;
        }
    }
    return true;
}

bool Child::set_output_pipe_bytes(int bytes) {
    return out_fd_ >= 0 && fcntl(out_fd_, F_SETPIPE_SZ, bytes) >= 0;
}

size_t Child::unread_output_bytes() const {
    int bytes = 0;
    if (out_fd_ < 0 || ioctl(out_fd_, FIONREAD, &bytes) != 0) return 0;
    return size_t(bytes);
}

bool Child::reap() {
    if (exited_) return true;
    if (pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
    return exited_;
}

void Child::drain() {
    for (;;) {
        size_t before = out_.size() + err_.size();
        if (!read_some(0) || out_.size() + err_.size() == before) return;
    }
}

void Child::close_out() {
    drain();
    if (out_fd_ >= 0) close(out_fd_);
    out_fd_ = -1;
}

bool Child::running() { return !reap(); }

void Child::send_signal(int signal) {
    if (pid_ > 0 && !reap()) kill(pid_, signal);
}

bool Child::wait_for_output(const std::function<bool(const std::string&)>& ready, double seconds) {
    double deadline = now_seconds() + seconds;
    while (!ready(out_)) {
        if (now_seconds() > deadline) return false;
        if (!read_some(20) && reap()) return ready(out_);
    }
    return true;
}

bool Child::wait_exit(double seconds) {
    double deadline = now_seconds() + seconds;
    while (now_seconds() < deadline) {
        bool open = read_some(20);
        if (reap() && !open) return true;
        if (exited_ && open) continue;  // gather the last output
    }
    if (reap()) {
        drain();
        return true;
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
    exited_ = true;
    drain();
    return false;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}
