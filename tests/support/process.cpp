#include "tests/support/process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace testing_support {
namespace {

std::vector<std::string> split_words(const std::string& text)
{
    std::vector<std::string> words;
    std::istringstream stream(text);
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

}  // namespace

std::vector<std::string> emulator_prefix() { return split_words(READER_TEST_EMULATOR); }

ProcessResult run_process(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment,
                          const std::string& input)
{
    int out_pipe[2];
    int err_pipe[2];
    int in_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0 || pipe2(in_pipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");

    std::vector<std::string> env_strings;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string key = entry.substr(0, entry.find('='));
        if (environment.count(key) == 0)
            env_strings.push_back(entry);
    }
    for (const auto& [key, value] : environment)
        env_strings.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (auto& s : env_strings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> cargv;
    for (auto& s : args)
        cargv.push_back(s.data());
    cargv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        execvpe(cargv[0], cargv.data(), envp.data());
        const char message[] = "exec failed\n";
        (void)!::write(2, message, sizeof message - 1);
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    close(in_pipe[0]);
    signal(SIGPIPE, SIG_IGN);
    size_t written = 0;
    if (input.empty()) {
        close(in_pipe[1]);
        in_pipe[1] = -1;
    }

    ProcessResult result;
    pollfd fds[3] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}, {in_pipe[1], POLLOUT, 0}};
    int open_outputs = 2;
    while (open_outputs > 0) {
        const nfds_t count = in_pipe[1] >= 0 ? 3 : 2;
        if (::poll(fds, count, -1) < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_outputs;
            } else {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
            }
        }
        if (in_pipe[1] >= 0 && fds[2].revents != 0) {
            const ssize_t n = ::write(in_pipe[1], input.data() + written, input.size() - written);
            if (n > 0)
                written += static_cast<size_t>(n);
            if (n <= 0 || written == input.size()) {
                close(in_pipe[1]);
                in_pipe[1] = -1;
            }
        }
    }
    if (in_pipe[1] >= 0)
        close(in_pipe[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

namespace {

std::vector<char*> c_strings(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (auto& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

Spawned::Spawned(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment,
                 std::string output_path)
    : output_path_(std::move(output_path))
{
    std::vector<std::string> env_strings;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (environment.count(entry.substr(0, entry.find('='))) == 0)
            env_strings.push_back(entry);
    }
    for (const auto& [key, value] : environment)
        env_strings.push_back(key + "=" + value);
    std::vector<std::string> args = argv;
    std::vector<char*> cargv = c_strings(args);
    std::vector<char*> envp = c_strings(env_strings);
    const int out = ::open(output_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int input[2];
    if (out < 0 || pipe2(input, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot create " + output_path_ + " or a pipe");
    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        dup2(input[0], 0);
        dup2(out, 1);
        dup2(out, 2);
        execvpe(cargv[0], cargv.data(), envp.data());
        _exit(127);
    }
    ::close(out);
    ::close(input[0]);
    input_ = input[1];
}

void Spawned::type(const std::string& text) const
{
    if (::write(input_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        throw std::runtime_error("cannot write to the program's input");
}

Spawned::~Spawned()
{
    ::close(input_);
    if (wait(0) >= 0)
        return;
    ::kill(pid_, SIGTERM);
    if (wait(5) < 0) {
        ::kill(pid_, SIGKILL);
        wait(60);
    }
}

int Spawned::wait(double seconds)
{
    if (status_ >= 0)
        return status_;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return status_;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        usleep(10000);
    }
}

std::string Spawned::output() const { return read_file(output_path_); }

bool eventually(const std::function<bool()>& condition, double seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        usleep(10000);
    }
    return true;
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "reader-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::string& path)
{
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream content;
    content << stream.rdbuf();
    return content.str();
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> split_lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace testing_support
