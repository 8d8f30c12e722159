// Text drawings of notices, the dialog and the panel. The module's texts
// and the panel's names are written as the bytes they are, but for control
// characters, shown as '?': a name may hold any of them, and the terminal
// would act on it (clear the screen, set the window title). Widths count
// bytes.
#include "devhost/draw.h"

#include <algorithm>
#include <string.h>

// Keeps a dialog with absurd coordinates from taking the host down.
static const int32_t MaximumGridSide = 200;

std::string Printable(const std::string &text) {
    std::string shown = text;
    for (char &c : shown)
        if ((uint8_t)c < 0x20 || c == 0x7f)
            c = '?';
    return shown;
}

std::vector<std::string> NoticeButtons(const std::vector<std::string> &texts, int32_t buttonCount,
                                       uint32_t flags) {
    std::vector<std::string> buttons;
    size_t count = (size_t)std::max<int32_t>(0, buttonCount);
    // The title is never a button, however many the module claims.
    count = std::min(count, texts.empty() ? 0 : texts.size() - 1);
    for (size_t i = texts.size() - count; i < texts.size(); i++)
        buttons.push_back(Printable(ButtonLabel(texts[i])));
    if (buttons.empty() && (flags & NoticeOkButtonFlag))
        buttons.push_back("OK");
    return buttons;
}

std::string DrawNotice(const std::vector<std::string> &texts, int32_t buttonCount, uint32_t flags) {
    std::vector<std::string> buttons = NoticeButtons(texts, buttonCount, flags);
    std::string title = texts.empty() ? std::string() : Printable(texts[0]);
    std::vector<std::string> lines;
    size_t bodyEnd =
        texts.size() - std::min(texts.size(), (size_t)std::max<int32_t>(0, buttonCount));
    for (size_t i = 1; i < bodyEnd; i++)
        lines.push_back(Printable(texts[i]));
    std::string buttonLine;
    for (const std::string &button : buttons)
        buttonLine += (buttonLine.empty() ? "" : " ") + ("[ " + button + " ]");
    if (!buttonLine.empty())
        lines.push_back(buttonLine);

    size_t width = title.size() + 4;
    for (const std::string &line : lines)
        width = std::max(width, line.size());
    char edge = (flags & NoticeWarningFlag) ? '=' : '-';
    std::string heading = title.empty() ? std::string() : " " + title + " ";
    size_t left = (width + 2 - heading.size()) / 2;
    std::string out = "+" + std::string(left, edge) + heading +
                      std::string(width + 2 - left - heading.size(), edge) + "+\n";
    for (size_t i = 0; i < lines.size(); i++) {
        bool centred = !buttonLine.empty() && i + 1 == lines.size();
        size_t pad = centred ? (width - lines[i].size()) / 2 : 0;
        out += "| " + std::string(pad, ' ') + lines[i] +
               std::string(width - pad - lines[i].size(), ' ') + " |\n";
    }
    out += "+" + std::string(width + 2, edge) + "+\n";
    return out;
}

std::string ButtonLabel(const std::string &text) {
    std::string label;
    for (char c : text)
        if (c != '&')
            label += c;
    return label;
}

static void Put(std::vector<std::string> &grid, int32_t x, int32_t y, const std::string &text) {
    if (y < 0 || y >= (int32_t)grid.size())
        return;
    std::string &row = grid[y];
    for (size_t i = 0; i < text.size(); i++) {
        int32_t column = x + (int32_t)i;
        if (column >= 0 && column < (int32_t)row.size())
            row[column] = text[i];
    }
}

std::string DialogItemText(const DialogItemRecord &item) {
    return std::string(item.Data, strnlen(item.Data, DialogItemDataSize));
}

static std::string ButtonFace(const DialogItemRecord &item) {
    std::string label = Printable(ButtonLabel(DialogItemText(item)));
    return item.DefaultButton ? "{ " + label + " }" : "[ " + label + " ]";
}

// Width of an item from its coordinates, within what a grid can hold.
static int32_t ItemWidth(const DialogItemRecord &item) {
    int64_t width = (int64_t)item.X2 - item.X1 + 1;
    return (int32_t)std::min<int64_t>(std::max<int64_t>(width, 0), MaximumGridSide);
}

static void DrawFrame(std::vector<std::string> &grid, const DialogItemRecord &item) {
    int32_t width = ItemWidth(item);
    if (width < 2 || item.Y2 <= item.Y1)
        return;
    Put(grid, item.X1, item.Y1, "+" + std::string(width - 2, '=') + "+");
    Put(grid, item.X1, item.Y2, "+" + std::string(width - 2, '=') + "+");
    for (int32_t y = std::max(item.Y1 + 1, 0); y < std::min(item.Y2, MaximumGridSide); y++) {
        Put(grid, item.X1, y, "|");
        Put(grid, item.X2, y, "|");
    }
    std::string title = DialogItemText(item);
    if (!title.empty()) {
        title = " " + Printable(ButtonLabel(title)) + " ";
        Put(grid, item.X1 + std::max<int32_t>(1, (width - (int32_t)title.size()) / 2), item.Y1,
            title);
    }
}

std::string DrawDialog(const DialogItemRecord *items, int32_t count, int32_t width,
                       int32_t height) {
    int64_t right = width, bottom = height;
    for (int32_t i = 0; i < count; i++) {
        right = std::max<int64_t>(right, std::max(items[i].X1, items[i].X2) + (int64_t)1);
        bottom = std::max<int64_t>(bottom, std::max(items[i].Y1, items[i].Y2) + (int64_t)1);
    }
    width = (int32_t)std::min<int64_t>(std::max<int64_t>(right, 1), MaximumGridSide);
    height = (int32_t)std::min<int64_t>(std::max<int64_t>(bottom, 1), MaximumGridSide);
    std::vector<std::string> grid((size_t)height, std::string((size_t)width, ' '));

    for (int32_t i = 0; i < count; i++) {
        const DialogItemRecord &item = items[i];
        if (item.Type == DialogFrameItem)
            DrawFrame(grid, item);
        else if (item.Type == DialogEditItem) {
            std::string field = Printable(DialogItemText(item));
            field.resize(std::max<size_t>(field.size(), (size_t)ItemWidth(item)), '_');
            Put(grid, item.X1, item.Y1, field);
        } else if (item.Type == DialogButtonItem && item.X1 <= 0)
            continue; // placed below with the others of its line
        else if (item.Type == DialogButtonItem)
            Put(grid, item.X1, item.Y1, ButtonFace(item));
        else
            Put(grid, item.X1, item.Y1, Printable(ButtonLabel(DialogItemText(item))));
    }
    // Buttons that leave their place to the host share their line, centred.
    for (int32_t y = 0; y < height; y++) {
        std::string line;
        for (int32_t i = 0; i < count; i++)
            if (items[i].Type == DialogButtonItem && items[i].X1 <= 0 && items[i].Y1 == y)
                line += (line.empty() ? "" : " ") + ButtonFace(items[i]);
        if (!line.empty())
            Put(grid, std::max<int32_t>(0, (width - (int32_t)line.size()) / 2), y, line);
    }

    std::string out;
    for (std::string &row : grid) {
        row.erase(row.find_last_not_of(' ') + 1);
        out += row + "\n";
    }
    return out;
}

std::string DrawPanel(const Panel &panel) {
    std::string out = "Panel " + Printable(panel.Directory) + "\n";
    size_t width = 0;
    for (const PanelItemRecord &item : panel.Items)
        width = std::max(width, strlen(item.Name));
    for (size_t i = 0; i < panel.Items.size(); i++) {
        const PanelItemRecord &item = panel.Items[i];
        out += (int32_t)i == panel.Cursor ? '>' : ' ';
        out += IsSelected(item) ? '*' : ' ';
        out += ' ';
        out += Printable(item.Name);
        if (item.Attributes & DirectoryAttribute)
            out += std::string(width - strlen(item.Name), ' ') + "  <DIR>";
        out += '\n';
    }
    size_t selected = SelectedNames(panel).size();
    out += std::to_string(selected) + (selected == 1 ? " item" : " items") + " selected\n";
    return out;
}
