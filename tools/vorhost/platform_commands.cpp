#include "platform_commands.h"

#include "devices/device_set.h"
#include "vorsim.h"
#include "hoxhost.h"

#include <cstdint>
#include <filesystem>
#include <limits>

namespace vorhost {

namespace {

// A dialog caption (UTF-16) as printed, through the host's conversion.
std::string utf8(const std::u16string& text) {
    char* converted = charset_unicodetoutf8(text.c_str(), static_cast<long>(text.size()), nullptr);
    if (!converted) return {};
    std::string out(converted);
    sysmem_freeptr(converted);
    return out;
}

// The capture cards of the loaded devices go to the host's card back end,
// which serves them itself.
void hand_cards_to_host() {
    const vorsim::DeviceSet devices = vorsim::current_devices();
    std::vector<std::vector<t_hox_card_mode>> modes;
    std::vector<t_hox_card> cards;
    for (const vorsim::Card& card : devices.cards) {
        auto& m = modes.emplace_back();
        for (const vorsim::CardMode& mode : card.modes) m.push_back({mode.name.c_str(), mode.width, mode.height});
    }
    for (size_t i = 0; i < devices.cards.size(); ++i)
        cards.push_back({devices.cards[i].name.c_str(), devices.cards[i].id.c_str(), modes[i].data(),
                         static_cast<long>(modes[i].size())});
    hox_host_set_cards(cards.data(), static_cast<long>(cards.size()));
}

}  // namespace

bool setup_platform(const Options& options, std::string& why) {
    switch (options.device_set) {
    case DeviceSet::builtin:
        // The platform starts with the built-in set (vorsim::default_devices()).
        break;
    case DeviceSet::none:
        vorsim::load_devices(vorsim::DeviceSet{});
        break;
    case DeviceSet::file:
        if (!vorsim::load_device_file(options.devices_path, why)) {
            why = "--devices: " + why;
            return false;
        }
        break;
    }
    vorsim::clock_set(options.clock == Clock::manual ? vorsim::ClockMode::manual : vorsim::ClockMode::real);
    hox_host_cards_manual_clock(options.clock == Clock::manual);
    hand_cards_to_host();
    return true;
}

PlatformCommands::PlatformCommands(Interpreter& shell, std::string script_folder)
    : shell_(shell), script_folder_(std::move(script_folder)) {
    shell_.add_command("frames", [this](Args& a) { frames(a); });
    shell_.add_command("plug", [this](Args& a) { plug(a); });
    shell_.add_command("unplug", [this](Args& a) { unplug(a); });
    shell_.add_command("fault", [this](Args& a) { fault(a); });
    shell_.add_command("cardmode", [this](Args& a) { cardmode(a); });
    vorsim::property_frame_handler_set([this](const vorsim::PropertyFrameCall& call) -> HRESULT {
        // The module passes no caption: the device the pages belong to names the dialog.
        const std::string name = call.caption.empty() ? call.device_name : utf8(call.caption);
        shell_.print("dialog: property pages of \"" + name + "\" (" + std::to_string(call.pages.size()) +
                     " pages)");
        return S_OK;
    });
}

PlatformCommands::~PlatformCommands() { vorsim::property_frame_handler_set({}); }

void PlatformCommands::frames(Args& a) {
    a.expect(1, 1, "frames N");
    const long n = a.number(0, "N");
    if (n < 0 || n > std::numeric_limits<int>::max())
        throw CommandError{"frames: N must be a whole number from 0, not " + std::to_string(n)};
    vorsim::deliver_frames(static_cast<int>(n));
    hox_host_cards_advance(n);
}

void PlatformCommands::plug(Args& a) {
    a.expect(1, 1, "plug FILE.json");
    std::filesystem::path path(a.word(0, "FILE"));
    if (path.is_relative() && !script_folder_.empty())
        path = std::filesystem::path(script_folder_) / path;
    std::string why;
    if (!vorsim::plug_device_file(path.lexically_normal().string(), why))
        throw CommandError{"plug: " + why};
    hand_cards_to_host();
}

void PlatformCommands::unplug(Args& a) {
    a.expect(1, 1, "unplug DEVICE");
    const std::string name = a.word(0, "DEVICE");
    if (!vorsim::unplug_device(name))
        throw CommandError{"unplug: no device \"" + name + "\""};
    hand_cards_to_host();
}

void PlatformCommands::cardmode(Args& a) {
    a.expect(2, 2, "cardmode CARD MODE");
    const std::string name = a.word(0, "CARD");
    const long mode = a.number(1, "MODE");
    // The host's card list is the device set's, in the same order.
    const std::vector<vorsim::Card> cards = vorsim::current_devices().cards;
    for (size_t i = 0; i < cards.size(); ++i) {
        if (cards[i].name == name) {
            hox_host_card_signal(static_cast<long>(i), mode);
            return;
        }
    }
    throw CommandError{"cardmode: no card \"" + name + "\""};
}

void PlatformCommands::fault(Args& a) {
    const char* form = "fault CALL [N] or fault clear";
    a.expect(1, 2, form);
    const std::string call = a.word(0, "CALL");
    if (call == "clear") {
        if (a.size() != 1)
            throw CommandError{std::string("fault: expected ") + form};
        vorsim::fault_clear();
        return;
    }
    int count = vorsim::kAlways;
    if (a.size() == 2) {
        const long n = a.number(1, "N");
        if (n < 1 || n > std::numeric_limits<int>::max())
            throw CommandError{"fault: N must be a whole number from 1, not " + std::to_string(n)};
        count = static_cast<int>(n);
    }
    vorsim::fault_set(call, count);
}

}  // namespace vorhost
