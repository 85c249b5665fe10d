#include "skintable.h"

namespace Skin {

namespace {

// A state family: one picture per state, all of one size.
struct Family
{
    const char *name;
    const char *separator; // between name and digit: "" or "_"
    int states; // 3 (normal, hover, pressed) or 4 (plus disabled)
    int width;
    int height;
    Role role;
    Look look;
    const char *kind;
    const char *word;
};

const Family families[] = {
    // Home window feature tiles.
    { "mburn", "", 3, 428, 220, Role::FeatureTile, Look::Primary, "burn", "Burn" },
    { "Extract", "", 3, 206, 220, Role::FeatureTile, Look::Primary, "extract", "Extract" },
    { "Create", "", 3, 208, 219, Role::FeatureTile, Look::Primary, "create", "Create" },
    { "Edit", "", 3, 210, 219, Role::FeatureTile, Look::Primary, "edit", "Edit" },
    { "Copy-Disc", "", 3, 206, 219, Role::FeatureTile, Look::Primary, "copy", "Copy Disc" },

    // Burn page.
    { "Broswe", "", 3, 64, 24, Role::Button, Look::Secondary, "", "Browse" },
    { "burn", "", 3, 108, 30, Role::Button, Look::Primary, "", "Burn" },
    // Back buttons: "backwhite" on the Burn, Edit and Copy pages, "Back" on Extract and Create.
    { "backwhite", "", 3, 108, 30, Role::Button, Look::Secondary, "back", "Back" },
    { "Back", "", 3, 108, 30, Role::Button, Look::Secondary, "back", "Back" },

    // Extract and Edit pages.
    { "loadiso", "", 3, 88, 26, Role::Button, Look::Primary, "", "Load ISO" },
    { "btnextract", "", 3, 108, 30, Role::Button, Look::Primary, "", "Extract" },

    // Create page.
    { "addfile", "", 3, 91, 24, Role::Button, Look::Secondary, "", "Add Files" },
    { "adddir", "", 3, 91, 24, Role::Button, Look::Secondary, "", "Add Folder" },
    { "Remove", "", 3, 91, 24, Role::Button, Look::Secondary, "", "Remove" },
    { "Create-IOS", "", 3, 108, 30, Role::Button, Look::Primary, "", "Create ISO" },

    // Edit page tool bar and its save button.
    { "Add", "", 3, 74, 19, Role::Button, Look::Secondary, "", "Add" },
    { "Export", "", 3, 74, 19, Role::Button, Look::Secondary, "", "Export" },
    { "Rename", "", 3, 74, 19, Role::Button, Look::Secondary, "", "Rename" },
    { "Delete", "", 3, 74, 19, Role::Button, Look::Secondary, "", "Delete" },
    { "New", "", 3, 74, 19, Role::Button, Look::Secondary, "", "New" },
    { "save", "", 3, 108, 30, Role::Button, Look::Primary, "", "Save" },

    // Copy page: "refresh" is the button that ejects the disc, "filedialog" picks the target.
    { "start", "", 3, 108, 30, Role::Button, Look::Primary, "", "Start" },
    { "refresh", "", 3, 88, 28, Role::Button, Look::Secondary, "", "Eject" },
    { "filedialog", "", 3, 88, 28, Role::Button, Look::Secondary, "", "Browse" },

    // Dialogs. "NO_" is the second button of the message box: Cancel wherever it is shown.
    { "OK", "", 3, 90, 21, Role::Button, Look::Primary, "", "OK" },
    { "Open-Folder", "", 3, 90, 21, Role::Button, Look::Secondary, "", "Open Folder" },
    { "OK", "_", 3, 92, 22, Role::Button, Look::Primary, "", "OK" },
    { "NO", "_", 3, 92, 22, Role::Button, Look::Secondary, "", "Cancel" },
    // Three states only: a disabled Stop button has no picture and paints nothing.
    { "Stop", "", 3, 73, 20, Role::Button, Look::Secondary, "", "Stop" },

    // Window buttons of every window.
    { "osxclose", "", 4, 12, 12, Role::WindowButton, Look::Secondary, "close", "" },
    { "osxmin", "", 4, 12, 12, Role::WindowButton, Look::Secondary, "min", "" },

    // Kept in the bundle without a window that shows them.
    { "close_small_", "", 3, 28, 25, Role::SmallClose, Look::Secondary, "", "" },
    { "loadiso5", "", 3, 108, 30, Role::Button, Look::Primary, "", "Load ISO" },
};

// Pictures that are not state families.
struct Single
{
    const char *name;
    int width;
    int height;
    Role role;
    const char *kind;
    const char *word;
};

const Single singles[] = {
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
    for (const Family &f : families) {
        for (int digit = 1; digit <= f.states; ++digit) {
            Entry e;
            e.name = QString::fromLatin1(f.name) + QString::fromLatin1(f.separator)
                + QString::number(digit);
            e.size = QSize(f.width, f.height);
            e.role = f.role;
            e.state = static_cast<State>(digit - 1);
            e.look = f.look;
            e.kind = QString::fromLatin1(f.kind);
            e.word = QString::fromLatin1(f.word);
            list << e;
        }
    }
    for (const Single &s : singles) {
        Entry e;
        e.name = QString::fromLatin1(s.name);
        e.size = QSize(s.width, s.height);
        e.role = s.role;
        e.kind = QString::fromLatin1(s.kind);
        e.word = QString::fromLatin1(s.word);
        list << e;
    }
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
