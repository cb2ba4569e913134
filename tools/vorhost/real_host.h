// The shell's host: HoxAPI and vorlib, as loaded into this process.
#pragma once

#include "host_port.h"

namespace vorhost {

class RealHost : public HostPort {
public:
    RealHost() = default;
    ~RealHost() override;
    RealHost(const RealHost&) = delete;
    RealHost& operator=(const RealHost&) = delete;

    // Sends the host's console lines and outlet messages to `events` (null
    // to stop).
    void connect(HostEvents* events);
    // Loads a module and runs its ext_main; false with a reason on failure.
    bool load_module(const std::string& path, std::string& why);
    void set_default_folder(const std::string& dir);

    bool parse(const std::string& text, std::vector<t_atom>& atoms, std::string& why) override;
    std::string format(const t_atom& a) override;
    bool has_box_class(const std::string& name) override;
    void* new_box(const std::string& class_name, std::vector<t_atom>& args) override;
    void send(void* box, t_symbol* message, std::vector<t_atom>& args) override;
    void free_box(void* box) override;
    void* wrapping_box(void* object) override;
    std::string class_name(void* object) override;
    bool matrix(void* box, MatrixShape& shape, std::string& why) override;
    bool cell(void* box, long x, long y, std::vector<t_atom>& planes, std::string& why) override;
    bool texture(void* box, TextureShape& shape, std::string& why) override;
    void answer_save_dialog(const char* fullpath) override;
    void set_main_window(bool present) override;
    std::string default_folder() override;
    void run_queue() override;

private:
    HostEvents* events_ = nullptr;
};

}  // namespace vorhost
