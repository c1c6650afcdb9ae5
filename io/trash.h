// Moving files to the user's trash the way desktop file managers keep it, so
// they list what was moved and can put it back.
//
// A file on the file system of the home trash ($XDG_DATA_HOME/Trash, by default
// ~/.local/share/Trash, made with its missing parents when needed) goes there.
// A file on another file system goes to that volume's trash: $top/.Trash/UID
// when the administrator prepared $top/.Trash (a real folder with the sticky
// bit), else $top/.Trash-UID, made when missing ($top is the volume's mount
// point). A file is never copied across file systems.
//
// Each trash holds files/ with the moved items and info/ with one NAME.trashinfo
// per item, telling the original path (percent-encoded; absolute in the home
// trash, relative to $top in a volume's trash) and the deletion time. The info
// file is made first, exclusively, so it reserves the item's name in the trash.
#pragma once

#include <stdexcept>
#include <string>

namespace io {

class ETrash : public std::runtime_error {
 public:
  ETrash(const std::string& message, bool noTrash)
      : std::runtime_error(message), NoTrash(noTrash) {}
  // No trash may take the file (its volume has none that can be used or made);
  // a program may offer to delete it instead. False for other failures (the file
  // is missing, cannot be moved ...).
  bool NoTrash;
};

// Moves the file, link or folder at `path` to its trash and returns its new path
// there. Raises ETrash with "Can not move "PATH" to the trash: REASON".
std::string MoveToTrash(const std::string& path);

// Removes the file, link or folder (with its contents) for good. Raises ETrash
// with "Can not delete "PATH": REASON".
void DeletePermanently(const std::string& path);

// The home trash folder, whether it exists or not.
std::string HomeTrash();

}  // namespace io
