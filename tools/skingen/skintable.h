#pragma once

#include <QList>
#include <QSize>
#include <QString>

// The skin's table: every picture of the resource bundle with its name, size and role.
// State families (a button with one picture per state) are written once and expanded into
// one entry per state: name + separator + digit, 1 normal, 2 hover, 3 pressed, 4 disabled.

namespace Skin {

enum class Role {
    FeatureTile, // large home-window tile with a drawn icon and the feature's word
    Button, // push button carrying its word
    WindowButton, // round close / minimise button of a window
    HeaderLink, // four-frame strip (normal, hover, pressed, disabled) with icon and word
    ToolStrip, // three-frame strip of 28 x 28 glyph buttons (normal, hover, pressed)
    SmallClose, // small square close glyph button
    Background, // window background; kind names which window
    PictureMessage, // message dialog background with its whole message drawn in
    Radio, // radio button indicator; kind "on" or "off"
    CheckBox, // check box indicator; kind "on" or "off"
    Magnifier, // the search box image
    DropArrow, // a small downward arrow
};

enum class State { Normal, Hover, Pressed, Disabled };

enum class Look {
    Primary, // the action a page exists for: solid accent
    Secondary, // every other button: light fill, accent border
};

struct Entry
{
    QString name; // resource alias, no extension
    QSize size;
    Role role = Role::Background;
    State state = State::Normal;
    Look look = Look::Secondary;
    QString kind; // sub-kind of the role: icon, glyph, window or message key
    QString word; // the text the picture carries, where it carries one
};

// The text of one picture message: what happened and what to do.
struct Message
{
    QString key;
    QString icon; // "warning", "info", "question" or "done"
    QString title;
    QString body;
};

// Every image entry of the bundle, in a stable order. The icon "logo" and the two style-sheet
// texts are not images and are not listed here.
QList<Entry> entries();

// The message of a picture-message entry (by name); an empty key when there is none.
Message message(const QString &key);

} // namespace Skin
