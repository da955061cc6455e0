#pragma once
// Scripted answers of the modal dialogs of `varnex open` (end-to-end tests, demonstrations): each
// script answers the next dialog that comes up, in order, with comma-separated actions:
//   shot=FILE        a screenshot of the dialog as shown (PNG)
//   select=ID:INDEX  chooses an entry of a list, as a user would
//   type=ID:TEXT     types a text into a field, replacing what it held
//   click=ID         presses a button (1 OK, 2 Cancel)
// A dialog that is up after its actions waits for the user.
#include <ostream>
#include <string>
#include <vector>

namespace varnex {

// False with the reason when a script does not read.
bool CheckDialogActions(const std::vector<std::string>& scripts, std::string& error);
// Answers the modal dialogs with the scripts from now on; each failed action is one line on `err`.
void InstallDialogActions(std::vector<std::string> scripts, std::ostream& err);

} // namespace varnex
