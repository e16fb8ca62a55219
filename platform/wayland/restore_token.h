// The desktop portal's restore token, kept between runs so that the desktop
// gives the keyboard again without asking: one line in
// $XDG_STATE_HOME/teclix/restore-token (~/.local/state when unset), in a
// directory and a file that only the user may read.
#pragma once

#include <string>

namespace teclix::wayland {

// The file's path, from the environment.
std::string restore_token_path();

// The token kept at path; empty when there is none, or what is there is no token
// (too long, or characters a portal's token never has).
std::string read_restore_token(const std::string &path);

// Keeps token at path, replacing the file whole, through a new file renamed over
// it (a leftover one from an interrupted run is replaced). Makes the missing
// directories. False, with the reason in why, when it could not.
bool write_restore_token(const std::string &path, const std::string &token, std::string &why);

} // namespace teclix::wayland
