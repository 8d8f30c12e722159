// Text drawings of what the host shows: notices, the dialog and the panel.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

#include "devhost/panel.h"
#include "host/records.h"

// The text with its control characters as '?', safe to write to a terminal.
std::string Printable(const std::string &text);

// The button labels a notice ends up with: the module's last buttonCount
// texts, or the host's OK when the flags ask for it.
std::vector<std::string> NoticeButtons(const std::vector<std::string> &texts, int32_t buttonCount,
                                       uint32_t flags);

// A notice as a box: the first text is the title, then the body lines, then
// the buttons on one line.
std::string DrawNotice(const std::vector<std::string> &texts, int32_t buttonCount, uint32_t flags);

// The dialog on a character grid of the given size, from its records;
// buttons without a horizontal position are centred together on their line
// and the default button is marked with braces.
std::string DrawDialog(const DialogItemRecord *items, int32_t count, int32_t width, int32_t height);

// A label without its hotkey marks.
std::string ButtonLabel(const std::string &text);

// An item's text, which ends at its NUL or at the end of the field.
std::string DialogItemText(const DialogItemRecord &item);

// The panel, one item a line: ">" on the cursor, "*" on selected items.
std::string DrawPanel(const Panel &panel);
