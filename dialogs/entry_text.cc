#include "dialogs/entry_text.h"

#include "base/window/window.h"

namespace kestrelio {
namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

size_t CharacterCount(std::string_view text) {
  size_t count = 0;
  for (char c : text) {
    if (!IsContinuationByte(c)) ++count;
  }
  return count;
}

std::string CutCharacters(std::string_view text, size_t max_chars) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsContinuationByte(text[i])) continue;
    if (chars == max_chars) return std::string(text.substr(0, i));
    ++chars;
  }
  return std::string(text);
}

SelectedEntry SplitEntryText(std::string_view text) {
  SelectedEntry entry;
  size_t separator = text.rfind(", ");
  size_t number_start = 0;
  if (separator != std::string_view::npos) {
    number_start = separator + 2;
  } else {
    separator = text.find(',');
    if (separator == std::string_view::npos) {
      entry.name = CutCharacters(text, kSelectedChars);
      return entry;
    }
    number_start = separator + 1;
  }
  entry.name = CutCharacters(text.substr(0, separator), kSelectedChars);
  std::string_view number = text.substr(number_start);
  const size_t end = number.find_first_of(", ");
  if (end != std::string_view::npos) number = number.substr(0, end);
  entry.number = CutCharacters(number, kSelectedChars);
  return entry;
}

void AddListItem(Window& window, DialogAccess& dialog, int list_id, std::string_view text,
                 int icon_bitmap_id) {
  if (CharacterCount(text) > kItemTextMaxChars) {
    window.ShowMessageBox(kConversionFailedText, kConversionFailedCaption, MessageBoxButtons::kOk);
    dialog.ListAppendWithIcon(list_id, CutCharacters(text, kItemTextMaxChars), icon_bitmap_id);
    return;
  }
  dialog.ListAppendWithIcon(list_id, text, icon_bitmap_id);
}

}  // namespace kestrelio
