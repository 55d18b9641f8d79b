// wizard_window: puts the wizard together: the seven pages in the shell, in
// the order the user meets them, and the desktop services the toolkit uses
// (the clipboard, the mail client for bug reports).
#pragma once

class tessaly_convertor;
class wizard_front_end;
class wizard_shell;

// Adds welcome, connection, source and destination, worksheets, CSV
// formatting, progress and finish; the converter and the front end must
// outlive the shell.
void add_wizard_pages(wizard_shell& shell, tessaly_convertor& conv, wizard_front_end& front_end);

// The clipboard through Qt, bug reports through xdg-email.
void install_desktop_hooks();
