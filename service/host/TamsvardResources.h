#pragma once

// The service's string table: its name and its description, declared in code at its start.

#include <cstdint>

inline constexpr std::uint32_t IDS_SERVICENAME = 100;
// A format with one "%s" for the product version.
inline constexpr std::uint32_t IDS_SERVICE_DESCRIPTION = 104;

// Declares the strings; before the module reads its name.
void DeclareTamsvardResources();
