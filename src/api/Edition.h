#pragma once
// The edition this build is: its word travels as the HTTP header "vend" and the engine's vendor, names
// the edition configuration list ("%@-OEM-config") and switches the partner's microblog codes.
inline constexpr char kEditionWord[] = "lumo";
