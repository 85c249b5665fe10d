#include "skintable.h"

namespace Skin {

namespace {

// A picture of the table, or a state family: one picture per state, all of one size.
struct Picture
{
    const char *name;
    int width;
    int height;
    Role role;
    const char *kind;
    const char *word;
    Look look = Look::Secondary;
    int states = 0; // 0 for a single picture, 3 (normal, hover, pressed) or 4 (plus disabled)
    const char *separator = ""; // between name and digit: "" or "_"
};

const Picture families[] = {
    // Home window feature tiles.
    { "mburn", 428, 220, Role::FeatureTile, "burn", "Burn", Look::Primary, 3 },
    { "Extract", 206, 220, Role::FeatureTile, "extract", "Extract", Look::Primary, 3 },
    { "Create", 208, 219, Role::FeatureTile, "create", "Create", Look::Primary, 3 },
    { "Edit", 210, 219, Role::FeatureTile, "edit", "Edit", Look::Primary, 3 },
    { "Copy-Disc", 206, 219, Role::FeatureTile, "copy", "Copy Disc", Look::Primary, 3 },

    // Burn page.
    { "Broswe", 64, 24, Role::Button, "", "Browse", Look::Secondary, 3 },
    { "burn", 108, 30, Role::Button, "", "Burn", Look::Primary, 3 },
    // Back buttons: "backwhite" on the Burn, Edit and Copy pages, "Back" on Extract and Create.
    { "backwhite", 108, 30, Role::Button, "back", "Back", Look::Secondary, 3 },
    { "Back", 108, 30, Role::Button, "back", "Back", Look::Secondary, 3 },

    // Extract and Edit pages.
    { "loadiso", 88, 26, Role::Button, "", "Load ISO", Look::Primary, 3 },
    { "btnextract", 108, 30, Role::Button, "", "Extract", Look::Primary, 3 },

    // Create page.
    { "addfile", 91, 24, Role::Button, "", "Add Files", Look::Secondary, 3 },
    { "adddir", 91, 24, Role::Button, "", "Add Folder", Look::Secondary, 3 },
    { "Remove", 91, 24, Role::Button, "", "Remove", Look::Secondary, 3 },
    { "Create-IOS", 108, 30, Role::Button, "", "Create ISO", Look::Primary, 3 },

    // Edit page tool bar and its save button.
    { "Add", 74, 19, Role::Button, "", "Add", Look::Secondary, 3 },
    { "Export", 74, 19, Role::Button, "", "Export", Look::Secondary, 3 },
    { "Rename", 74, 19, Role::Button, "", "Rename", Look::Secondary, 3 },
    { "Delete", 74, 19, Role::Button, "", "Delete", Look::Secondary, 3 },
    { "New", 74, 19, Role::Button, "", "New", Look::Secondary, 3 },
    { "save", 108, 30, Role::Button, "", "Save", Look::Primary, 3 },

    // Copy page: "refresh" is the button that ejects the disc, "filedialog" picks the target.
    { "start", 108, 30, Role::Button, "", "Start", Look::Primary, 3 },
    { "refresh", 88, 28, Role::Button, "", "Eject", Look::Secondary, 3 },
    { "filedialog", 88, 28, Role::Button, "", "Browse", Look::Secondary, 3 },

    // Dialogs. "NO_" is the second button of the message box: Cancel wherever it is shown.
    { "OK", 90, 21, Role::Button, "", "OK", Look::Primary, 3 },
    { "Open-Folder", 90, 21, Role::Button, "", "Open Folder", Look::Secondary, 3 },
    { "OK", 92, 22, Role::Button, "", "OK", Look::Primary, 3, "_" },
    { "NO", 92, 22, Role::Button, "", "Cancel", Look::Secondary, 3, "_" },
    // Three states only: a disabled Stop button has no picture and paints nothing.
    { "Stop", 73, 20, Role::Button, "", "Stop", Look::Secondary, 3 },

    // Window buttons of every window.
    { "osxclose", 12, 12, Role::WindowButton, "close", "", Look::Secondary, 4 },
    { "osxmin", 12, 12, Role::WindowButton, "min", "", Look::Secondary, 4 },

    // Kept in the bundle without a window that shows them.
    { "close_small_", 28, 25, Role::SmallClose, "", "", Look::Secondary, 3 },
    { "loadiso5", 108, 30, Role::Button, "", "Load ISO", Look::Primary, 3 },
};

// Pictures that are not state families.
const Picture singles[] = {
    { "Home", 300, 68, Role::HeaderLink, "home", "Home" },
    { "Help", 300, 68, Role::HeaderLink, "help", "Help" },

    { "main", 860, 580, Role::Background, "main", "" },
    { "page1", 664, 472, Role::Background, "burn", "" },
    { "page2", 664, 472, Role::Background, "extract", "" },
    { "page3", 664, 472, Role::Background, "create", "" },
    { "page4", 664, 472, Role::Background, "edit", "" },
    { "page5", 664, 472, Role::Background, "copy", "" },
    { "commdialogbg", 420, 188, Role::Background, "dialog", "" },
    { "about_us", 420, 188, Role::Background, "about", "" },
    { "extractprogress", 340, 186, Role::Background, "progress", "Extracting files" },
    { "loadprogress", 520, 174, Role::Background, "progress", "Loading the ISO image" },

    { "format_usb", 420, 188, Role::PictureMessage, "", "" },
    { "insert_usb", 420, 188, Role::PictureMessage, "", "" },
    { "insufficient_space", 420, 188, Role::PictureMessage, "", "" },
    { "burn-fails", 420, 188, Role::PictureMessage, "", "" },
    { "select_files_extract", 420, 188, Role::PictureMessage, "", "" },
    { "import_iso_file", 420, 188, Role::PictureMessage, "", "" },
    { "select_files_remove", 420, 188, Role::PictureMessage, "", "" },
    { "add_files_create", 420, 188, Role::PictureMessage, "", "" },
    { "insert_dvd", 420, 188, Role::PictureMessage, "", "" },
    { "burn-successfully", 420, 188, Role::PictureMessage, "", "" },

    { "rchecked", 12, 12, Role::Radio, "on", "" },
    { "runchecked", 12, 12, Role::Radio, "off", "" },
    { "checked", 20, 20, Role::CheckBox, "on", "" },
    { "unchecked", 20, 20, Role::CheckBox, "off", "" },
    { "zoom", 15, 14, Role::Magnifier, "", "" },
    { "select", 10, 5, Role::DropArrow, "", "" },

    // Three-frame glyph strips kept in the bundle without a window that shows them.
    { "close", 84, 28, Role::ToolStrip, "close", "" },
    { "menu", 84, 28, Role::ToolStrip, "menu", "" },
    { "minimize", 84, 28, Role::ToolStrip, "min", "" },
};

const Message messages[] = {
    { "format_usb", "warning", "Format the USB disk?",
      "All data on the USB disk will be erased. Do you want to continue?" },
    { "insert_usb", "info", "No USB disk", "Please insert a USB disk and choose it in the list." },
    { "insufficient_space", "warning", "The USB disk is too small",
      "This image does not fit on the USB disk. Please use a larger one." },
    { "burn-fails", "warning", "No ISO image chosen",
      "Please choose an existing .iso file first." },
    { "select_files_extract", "info", "Nothing to extract",
      "Please tick the files and folders to extract first." },
    { "import_iso_file", "info", "No ISO image loaded", "Please load an ISO image first." },
    { "select_files_remove", "info", "Nothing to remove",
      "Please select the files and folders to remove first." },
    { "add_files_create", "info", "The project is empty",
      "Please add files or folders before you create the image." },
    { "insert_dvd", "info", "No disc in the drive", "Please insert a CD or DVD into the drive." },
    { "burn-successfully", "done", "Burning finished", "The image was written successfully." },
};

} // namespace

QList<Entry> entries()
{
    QList<Entry> list;
    auto add = [&](const Picture &p, const QString &name, State state) {
        Entry e;
        e.name = name;
        e.size = QSize(p.width, p.height);
        e.role = p.role;
        e.state = state;
        e.look = p.look;
        e.kind = QString::fromLatin1(p.kind);
        e.word = QString::fromLatin1(p.word);
        list << e;
    };
    for (const Picture &f : families) {
        for (int digit = 1; digit <= f.states; ++digit)
            add(f,
                QString::fromLatin1(f.name) + QString::fromLatin1(f.separator)
                    + QString::number(digit),
                static_cast<State>(digit - 1));
    }
    for (const Picture &s : singles)
        add(s, QString::fromLatin1(s.name), State::Normal);
    return list;
}

Message message(const QString &key)
{
    for (const Message &m : messages) {
        if (m.key == key)
            return m;
    }
    return {};
}

} // namespace Skin
