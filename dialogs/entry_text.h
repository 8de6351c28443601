// The texts of the Contacts and History list items: how an item splits into the name
// and number it stands for, the selected entry the dialogs hand to the dial logic, and
// the length limit of an item text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrelio {

class DialogAccess;
class Window;

// The selected name and number: 100-character buffers, so at most 99 characters each.
inline constexpr size_t kSelectedChars = 99;
// An item text of 100 characters or more cannot be converted for drawing.
inline constexpr size_t kItemTextMaxChars = 99;
inline constexpr std::string_view kConversionFailedText = "Conversion of string failed!";
inline constexpr std::string_view kConversionFailedCaption = "String Conversion";
inline constexpr std::string_view kNoItemSelectedText = "No item is selected!";

// Dialog results shared by the Contacts and History dialogs.
inline constexpr int kEntryChosen = 0;
inline constexpr int kEntryCancelled = 1;
inline constexpr int kEntryDialogClosed = 16;
// The dialog's close command (the window's close button or Escape).
inline constexpr int kCloseCommand = 2;

// The entry a Contacts or History dialog hands to the dial logic; a non-empty number
// asks for it to be dialled.
struct SelectedEntry {
  std::string name;
  std::string number;
  void Clear() {
    name.clear();
    number.clear();
  }
};

// "name, number[ ...]": the name is everything before the separator, the number starts
// after it and runs to the next ',' or space or the end. The separator is the last ", "
// of the text, so a name that itself holds ", " (names come from the presence server and
// from peers) still gives the right number; without any ", " the first ',' separates, and
// without a comma the whole text is the name and the number is empty. Both parts are
// cut to the selected buffers' kSelectedChars characters.
SelectedEntry SplitEntryText(std::string_view text);

// Characters (UTF-8 code points) in `text`; a stray byte counts as one.
size_t CharacterCount(std::string_view text);
// `text` cut to at most `max_chars` characters, never inside a UTF-8 sequence.
std::string CutCharacters(std::string_view text, size_t max_chars);

// Adds an owner-drawn item to a list. An item text of 100 characters or more cannot be
// converted for drawing: the user is told once, with "Conversion of string failed!"
// (caption "String Conversion"), and the item shows its first 99 characters.
void AddListItem(Window& window, DialogAccess& dialog, int list_id, std::string_view text,
                 int icon_bitmap_id);

}  // namespace kestrelio
