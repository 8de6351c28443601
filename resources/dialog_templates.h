// Dialog templates: each dialog's caption, size and controls in dialog units, in
// template order. Free of Qt; the ui/ dialog host builds widgets from them and the
// re-layout operation re-applies their rectangles on every size change.
#pragma once

#include <cstdint>
#include <span>

namespace kestrelio {

enum class ControlKind {
  kButton,
  kDefaultButton,
  kEdit,
  kNumberEdit,
  kStatic,
  kListBox,
  kDropDownList,
  kCheckBox,
  kRadioButton,
  kTab,
};

// Style bits beyond the kind.
inline constexpr uint32_t kStyleHidden = 1u << 0;
inline constexpr uint32_t kStyleDisabled = 1u << 1;
inline constexpr uint32_t kStyleBorder = 1u << 2;
inline constexpr uint32_t kStyleCentered = 1u << 3;
// A static whose text comes from outside: shown as it is, never as markup.
inline constexpr uint32_t kStylePlainText = 1u << 4;

// The id that several unnamed statics may share; a template may hold at most one.
inline constexpr int kUnnamedControlId = 0xFFFF;

struct DialogControlTemplate {
  int id;
  ControlKind kind;
  const char* text;
  int x, y, width, height;  // dialog units
  uint32_t style;
};

struct DialogTemplate {
  int id;
  const char* caption;  // empty: no caption
  int width, height;    // dialog units
  std::span<const DialogControlTemplate> controls;
};

// Null when there is no template with this id.
const DialogTemplate* FindDialogTemplate(int dialog_id);
std::span<const DialogTemplate> AllDialogTemplates();

// Dialog units to pixels, as the platform's MapDialogRect: x * base_x / 4,
// y * base_y / 8. The base units are those of the dialog font.
struct PixelRect {
  int x, y, width, height;
};
inline constexpr int kDialogBaseUnitX = 6;
inline constexpr int kDialogBaseUnitY = 12;
PixelRect MapDialogRect(const DialogControlTemplate& control, int base_x = kDialogBaseUnitX,
                        int base_y = kDialogBaseUnitY);

// A template is sound when no id but the unnamed one repeats and at most one control
// carries the unnamed id.
bool IsTemplateSound(const DialogTemplate& dialog);

}  // namespace kestrelio
