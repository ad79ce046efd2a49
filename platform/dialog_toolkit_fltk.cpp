// The dialog toolkit on FLTK 1.3 and X11: a described window laid out in
// rows, FLTK's pickers and alert box, and the window's events queued by the
// widgets' callbacks until the program asks for the next one.
#include "platform/dialog_toolkit_fltk.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cstring>
#include <deque>
#include <utility>
#include <vector>

#include "platform/dialog_toolkit.h"
#include "platform/platform.h"

namespace {

constexpr int field_min_width = 100;
constexpr int button_min_width = 30;

struct FltkGadget {
    int32_t number;
    GadgetKind kind;
    Fl_Widget* widget;
    std::string text;   // labels, buttons and check boxes: the text as set
};

struct FltkDialog {
    Fl_Double_Window* window = nullptr;
    std::vector<FltkGadget> gadgets;
    std::deque<std::pair<int32_t, int32_t>> events;   // {event, gadget}
};

FltkGadget* find_gadget(void* window, int32_t number)
{
    if (number < 0) return nullptr;
    for (FltkGadget& gadget : static_cast<FltkDialog*>(window)->gadgets) {
        if (gadget.number == number) return &gadget;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Display

bool connect_display(std::string& reason)
{
    // FLTK ends the process when it can't open a display itself, so the
    // display is opened here and handed over.
    static int state = 0;   // 1 open, -1 failed
    static std::string failure;
    if (state == 0) {
        Display* display = XOpenDisplay(nullptr);
        if (display) {
            fl_open_display(display);
            state = 1;
        } else {
            const char* name = XDisplayName(nullptr);
            failure = name && *name ? std::string("can't open display \"") + name + "\""
                                    : std::string("no display (DISPLAY is not set)");
            state = -1;
        }
    }
    reason = failure;
    return state > 0;
}

// ---------------------------------------------------------------------------
// Events

void gadget_callback(Fl_Widget* widget, long number)
{
    Fl_Window* window = widget->window();
    if (!window) return;
    static_cast<FltkDialog*>(window->user_data())->events.emplace_back(dialog_event_gadget, int32_t(number));
}

void window_callback(Fl_Widget*, void* data)
{
    // Escape reaches the window callback too; only a real close ends the dialog.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    static_cast<FltkDialog*>(data)->events.emplace_back(dialog_event_close, -1);
}

// ---------------------------------------------------------------------------
// Layout: containers one under the other, each line line_height high. A
// grid's columns are as wide as their widest gadget, the stretching column
// takes the rest of the window's width and every width change; a row keeps
// its gadgets' natural widths, left-aligned.

struct Block {
    int32_t container;              // -1: a gadget on its own
    std::vector<size_t> gadgets;    // indexes into the description
};

int natural_width(const DialogGadget& gadget)
{
    int text = int(fl_width(gadget.text.c_str()) + 0.5);
    switch (gadget.kind) {
    case GadgetKind::Text: return text + 4;
    case GadgetKind::String: return field_min_width;
    case GadgetKind::Button: return std::max(text + 24, button_min_width);
    case GadgetKind::CheckBox: return text + 28;
    }
    return text;
}

std::vector<Block> split_blocks(const DialogDescription& description)
{
    std::vector<Block> blocks;
    for (size_t i = 0; i < description.gadgets.size(); ++i) {
        int32_t container = description.gadgets[i].container;
        if (container < 0 || blocks.empty() || blocks.back().container != container) {
            blocks.push_back(Block{container, {}});
        }
        blocks.back().gadgets.push_back(i);
    }
    return blocks;
}

const DialogContainer& container_of(const DialogDescription& description, const Block& block)
{
    static const DialogContainer lone_row;
    return block.container < 0 ? lone_row : description.containers[size_t(block.container)];
}

// Natural column widths of a grid, or the gadgets' widths of a row.
std::vector<int> block_widths(const DialogDescription& description, const Block& block)
{
    const DialogContainer& container = container_of(description, block);
    std::vector<int> widths;
    if (!container.grid) {
        for (size_t index : block.gadgets) widths.push_back(natural_width(description.gadgets[index]));
        return widths;
    }
    widths.assign(size_t(container.columns), 0);
    for (size_t i = 0; i < block.gadgets.size(); ++i) {
        int& width = widths[i % widths.size()];
        width = std::max(width, natural_width(description.gadgets[block.gadgets[i]]));
    }
    return widths;
}

int block_lines(const DialogDescription& description, const Block& block)
{
    const DialogContainer& container = container_of(description, block);
    if (!container.grid) return 1;
    return int((block.gadgets.size() + size_t(container.columns) - 1) / size_t(container.columns));
}

int sum_with_spacing(const std::vector<int>& widths)
{
    int total = 0;
    for (int width : widths) total += width;
    return total + fltk_dialog_spacing * std::max(0, int(widths.size()) - 1);
}

Fl_Widget* make_widget(const DialogGadget& gadget, int x, int y, int w, int h)
{
    Fl_Widget* widget = nullptr;
    switch (gadget.kind) {
    case GadgetKind::Text:
        widget = new Fl_Box(x, y, w, h);
        widget->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
        break;
    case GadgetKind::String: {
        Fl_Input* input = new Fl_Input(x, y, w, h);
        input->value(gadget.text.data(), int(gadget.text.size()));
        input->when(FL_WHEN_NEVER);
        widget = input;
        break;
    }
    case GadgetKind::Button:
        widget = new Fl_Button(x, y, w, h);
        break;
    case GadgetKind::CheckBox: {
        Fl_Check_Button* box = new Fl_Check_Button(x, y, w, h);
        box->value(gadget.state ? 1 : 0);
        widget = box;
        break;
    }
    }
    if (gadget.kind != GadgetKind::String) widget->copy_label(fltk_label_text(gadget.text).c_str());
    if (gadget.number >= 0 && gadget.kind != GadgetKind::Text && gadget.kind != GadgetKind::String) {
        widget->callback(gadget_callback, long(gadget.number));
    }
    if (gadget.disabled) widget->deactivate();
    return widget;
}

void* open_window(const DialogDescription& description, std::string& reason)
{
    fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
    std::vector<Block> blocks = split_blocks(description);
    int inner = 0;
    int lines = 0;
    for (const Block& block : blocks) {
        inner = std::max(inner, sum_with_spacing(block_widths(description, block)));
        lines += block_lines(description, block);
    }
    int min_width = inner + 2 * fltk_dialog_margin;
    int width = std::max(min_width, int(description.width));
    int height = 2 * fltk_dialog_margin + lines * fltk_dialog_line_height +
                 fltk_dialog_spacing * std::max(0, lines - 1);
    inner = width - 2 * fltk_dialog_margin;

    FltkDialog* dialog = new FltkDialog;
    Fl_Double_Window* window = new Fl_Double_Window(width, height);
    dialog->window = window;
    window->copy_label(description.title.c_str());
    window->callback(window_callback, dialog);

    // The part of the window that takes width changes: the first stretching column.
    int stretch_x = -1;
    int stretch_width = 0;
    int y = fltk_dialog_margin;
    for (const Block& block : blocks) {
        const DialogContainer& container = container_of(description, block);
        std::vector<int> widths = block_widths(description, block);
        if (container.grid) {
            if (container.stretch > 0) widths[size_t(container.stretch - 1)] += inner - sum_with_spacing(widths);
            int line_y = y;
            for (size_t i = 0; i < block.gadgets.size(); ++i) {
                size_t column = i % widths.size();
                if (column == 0 && i > 0) line_y += fltk_dialog_line_height + fltk_dialog_spacing;
                int x = fltk_dialog_margin;
                for (size_t c = 0; c < column; ++c) x += widths[c] + fltk_dialog_spacing;
                const DialogGadget& gadget = description.gadgets[block.gadgets[i]];
                Fl_Widget* widget = make_widget(gadget, x, line_y, widths[column], fltk_dialog_line_height);
                dialog->gadgets.push_back({gadget.number, gadget.kind, widget, gadget.text});
                if (stretch_x < 0 && container.stretch > 0 && column == size_t(container.stretch - 1)) {
                    stretch_x = x;
                    stretch_width = widths[column];
                }
            }
        } else {
            // The filler at the right end takes the row's width changes.
            Fl_Group* row = new Fl_Group(fltk_dialog_margin, y, inner, fltk_dialog_line_height);
            int x = fltk_dialog_margin;
            for (size_t i = 0; i < block.gadgets.size(); ++i) {
                const DialogGadget& gadget = description.gadgets[block.gadgets[i]];
                Fl_Widget* widget = make_widget(gadget, x, y, widths[i], fltk_dialog_line_height);
                dialog->gadgets.push_back({gadget.number, gadget.kind, widget, gadget.text});
                x += widths[i] + fltk_dialog_spacing;
            }
            row->resizable(new Fl_Box(fltk_dialog_margin + inner - 1, y, 1, fltk_dialog_line_height));
            row->end();
        }
        y += block_lines(description, block) * (fltk_dialog_line_height + fltk_dialog_spacing);
    }
    // Without a stretching column nothing widens: the window's spare width
    // goes to a strip in its right margin.
    if (stretch_x < 0) {
        stretch_x = width - fltk_dialog_margin;
        stretch_width = 1;
    }
    Fl_Box* stretch = new Fl_Box(stretch_x, 0, stretch_width, height);
    window->end();

    if (os_dialog_has_flag(description, "resizable")) {
        window->resizable(stretch);
        window->size_range(min_width, height, 0, height);
    } else {
        window->size_range(width, height, width, height);
    }
    if (os_dialog_has_flag(description, "centred")) window->position((Fl::w() - width) / 2, (Fl::h() - height) / 2);
    window->show();
    Fl::flush();
    reason.clear();
    return dialog;
}

void close_window(void* window)
{
    FltkDialog* dialog = static_cast<FltkDialog*>(window);
    dialog->window->hide();
    delete dialog->window;
    delete dialog;
    Fl::flush();
}

std::string gadget_text(void* window, int32_t number)
{
    FltkGadget* gadget = find_gadget(window, number);
    if (!gadget) return std::string();
    if (gadget->kind != GadgetKind::String) return gadget->text;
    Fl_Input* input = static_cast<Fl_Input*>(gadget->widget);
    const char* value = input->value();
    return value ? std::string(value, size_t(input->size())) : std::string();
}

void set_gadget_text(void* window, int32_t number, const std::string& text)
{
    FltkGadget* gadget = find_gadget(window, number);
    if (!gadget) return;
    if (gadget->kind == GadgetKind::String) {
        static_cast<Fl_Input*>(gadget->widget)->value(text.data(), int(text.size()));
    } else {
        gadget->text = text;
        gadget->widget->copy_label(fltk_label_text(text).c_str());
        gadget->widget->redraw_label();
    }
}

int32_t gadget_state(void* window, int32_t number)
{
    FltkGadget* gadget = find_gadget(window, number);
    if (!gadget || gadget->kind != GadgetKind::CheckBox) return 0;
    return static_cast<Fl_Check_Button*>(gadget->widget)->value() ? 1 : 0;
}

void set_gadget_state(void* window, int32_t number, int32_t state)
{
    FltkGadget* gadget = find_gadget(window, number);
    if (gadget && gadget->kind == GadgetKind::CheckBox) static_cast<Fl_Check_Button*>(gadget->widget)->value(state ? 1 : 0);
}

void disable_gadget(void* window, int32_t number, bool disabled)
{
    FltkGadget* gadget = find_gadget(window, number);
    if (!gadget) return;
    if (disabled) gadget->widget->deactivate();
    else gadget->widget->activate();
    // The program works on without the event loop: show the change now.
    Fl::flush();
}

int32_t wait_event(void* window, int32_t& gadget)
{
    FltkDialog* dialog = static_cast<FltkDialog*>(window);
    while (dialog->events.empty()) {
        if (!dialog->window->shown()) {
            gadget = -1;
            return dialog_event_close;
        }
        Fl::wait();
    }
    auto [event, number] = dialog->events.front();
    dialog->events.pop_front();
    gadget = number;
    return event;
}

std::string native_start(const char* path)
{
    return path && *path ? os_native_path(path) : std::string();
}

std::string pick_folder(const char* title, const char* start_folder)
{
    const char* chosen = fl_dir_chooser(title, native_start(start_folder).c_str(), 0);
    return chosen ? std::string(chosen) : std::string();
}

std::string pick_file(const char* title, const char* start_path, const char* pattern)
{
    std::string filter = fltk_file_filter(pattern);
    const char* chosen = fl_file_chooser(title, filter.c_str(), native_start(start_path).c_str(), 0);
    return chosen ? std::string(chosen) : std::string();
}

void message_box(const char* title, const char* text)
{
    fl_message_title(title);
    // The text is no format: paths may hold "%".
    fl_alert("%s", fltk_label_text(text).c_str());
}

const NativeDialogToolkit fltk_toolkit = {
    connect_display, open_window,   close_window, gadget_text, set_gadget_text, gadget_state,
    set_gadget_state, disable_gadget, wait_event,  pick_folder, pick_file,       message_box,
};

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

}  // namespace

std::string fltk_label_text(const std::string& text)
{
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '@') out += '@';
    }
    return out;
}

std::string fltk_file_filter(const char* pattern)
{
    std::vector<std::string> parts = split(pattern ? pattern : "", '|');
    std::string filter;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::vector<std::string> patterns;
        for (const std::string& item : split(parts[i + 1], ';')) {
            if (!item.empty() && std::find(patterns.begin(), patterns.end(), item) == patterns.end()) {
                patterns.push_back(item);
            }
        }
        if (patterns.empty()) continue;
        std::string matched;
        bool extensions = patterns.size() > 1;
        for (const std::string& item : patterns) {
            if (item.compare(0, 2, "*.") != 0 || item.find_first_of(",{}", 2) != std::string::npos) extensions = false;
        }
        if (patterns.size() == 1) {
            matched = patterns[0];
        } else {
            // "*.{a,b}" when all are extensions, else "{p,q}".
            matched = extensions ? "*.{" : "{";
            for (size_t k = 0; k < patterns.size(); ++k) {
                matched += (k ? "," : "") + (extensions ? patterns[k].substr(2) : patterns[k]);
            }
            matched += "}";
        }
        if (!filter.empty()) filter += '\t';
        filter += parts[i] + " (" + matched + ")";
    }
    return filter;
}

const NativeDialogToolkit* os_fltk_dialog_toolkit()
{
    return &fltk_toolkit;
}
