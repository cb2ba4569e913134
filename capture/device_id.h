// Stable device identifiers: the MD5 of a device's "DevicePath" as 32
// lowercase hexadecimal digits, computed with the platform's CryptoAPI.
#pragma once

#include <string>

// The identifier of a device path given in UTF-8; empty when the
// CryptoAPI fails at any step.
std::string device_identifier(const std::string& device_path_utf8);

// Card back-end identifiers: at least 4 characters beginning with "BM-".
bool is_card_identifier(const char* text);
