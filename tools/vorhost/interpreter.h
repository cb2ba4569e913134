// The shell's command interpreter: reads lines, runs them against the host,
// and prints what the host reports, each line naming its source.
#pragma once

#include "host_port.h"

#include <functional>
#include <iosfwd>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace vorhost {

// A command's words after the command itself, with checked access. A wrong
// argument throws CommandError, which the interpreter reports for the line.
struct CommandError {
    std::string what;
};

class Args {
public:
    Args(std::string command, std::vector<t_atom> atoms) : command_(std::move(command)), atoms_(std::move(atoms)) {}
    const std::string& command() const { return command_; }
    std::size_t size() const { return atoms_.size(); }
    const t_atom& at(std::size_t i) const { return atoms_.at(i); }
    // Fails unless there are between min and max arguments; `form` shows them.
    void expect(std::size_t min, std::size_t max, const char* form) const;
    // Argument i as a word (a symbol), or as a long.
    std::string word(std::size_t i, const char* what) const;
    long number(std::size_t i, const char* what) const;
    // Arguments from i on, for passing to the host.
    std::vector<t_atom> rest(std::size_t i) const;

private:
    std::string command_;
    std::vector<t_atom> atoms_;
};

class Interpreter : public HostEvents {
public:
    using Handler = std::function<void(Args&)>;

    Interpreter(HostPort& host, std::ostream& out, std::ostream& err);
    ~Interpreter() override;

    // Adds (or replaces) a command. Commands that need the in-process
    // platform (frames, plug, unplug, fault) are added by whoever owns it.
    void add_command(const std::string& name, Handler handler);

    // Runs one line; `number` is its line number for messages. Returns false
    // when the line was wrong (reported on the error stream).
    bool run_line(long number, const std::string& line);

    // Runs every line of `in`. With `prompt`, shows a prompt before each line
    // and goes on after a wrong line; otherwise stops at the first. Returns
    // the exit status: 0, or 2 after a wrong line. Boxes stay; see finish().
    int run(std::istream& in, bool prompt);

    // Frees the remaining boxes, newest first.
    void finish();

    // Prints one line on the output stream (whole, flushed).
    void print(const std::string& line);

    // The box named `name`, or null.
    void* box(const std::string& name) const;
    // What a line names an object by.
    std::string name_of(void* object);

    void console(void* object, bool error, const char* text) override;
    void outlet(void* owner, long index, bool dump, t_symbol* s, long ac, const t_atom* av) override;

private:
    void dispatch(std::vector<t_atom>& atoms);
    void* box_arg(const Args& a, std::size_t i) const;
    void cmd_new(Args& a);
    void cmd_free(Args& a);
    void cmd_sleep(Args& a);
    void cmd_matrix(Args& a);
    void cmd_cell(Args& a);
    void cmd_texture(Args& a);
    void cmd_dialog(Args& a);
    void cmd_window(Args& a);
    std::string symbol_text(t_symbol* s);

    HostPort& host_;
    std::ostream& out_;
    std::ostream& err_;
    std::map<std::string, Handler> commands_;

    // Boxes in creation order, and the name of a box under construction.
    // Guarded by names_mutex_: host reports may come from other threads.
    mutable std::mutex names_mutex_;
    std::vector<std::pair<std::string, void*>> boxes_;
    std::string creating_;
    std::mutex out_mutex_;
};

}  // namespace vorhost
