// Shared set-up for the module's tests: the module registered once in this
// process, and the host's console and outlets captured as text lines.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "grabber/grabber.h"
#include "hoxhost.h"
#include "module/module.h"

class ModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // A box as a patch creates it, from shell-style text ("640 480 @adapt 1").
    void* new_box(const std::string& args = "");
    // Sends a message to a box and runs the host's queue, as the shell does.
    void send(void* box, const std::string& message);
    static t_grabber* grabber_of(void* box);
    static void* output_of(void* box);
    static t_vor_matrix_info info_of(void* matrix);
    // A box the test freed itself.
    void forget_box(void* box);

    std::vector<std::string> console;  // "error: text" / "post: text"
    std::vector<std::string> out;      // outlet 1: "SELECTOR atoms..."
    std::vector<std::string> dump;     // dump outlet: "SELECTOR atoms..."

private:
    std::vector<void*> boxes_;
};

std::string atoms_text(long ac, const t_atom* av);
