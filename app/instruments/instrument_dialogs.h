// The small dialogs around the song's instruments: Rename Instrument, Change Icon, Loaded
// Instruments (pick one of the song's instruments, playing it from the keys) and Import Raw
// Instrument (how to read a sample file that is not a WAV file).
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "instruments/sample_import.h"

class QWidget;

namespace tunemill {

class Document;

// The new name as typed (the caller ignores an empty one); none when cancelled.
std::optional<QString> ask_instrument_name(QWidget* parent, const QString& current);

// The category chosen in the strip, starting on the current one; none when cancelled.
std::optional<uint32_t> ask_category(QWidget* parent, uint32_t current,
                                     const QString& instrument_name);

// One of the song's instruments, starting on `selected`; none when cancelled or the song has none.
std::optional<size_t> choose_loaded_instrument(QWidget* parent, Document& document,
                                               size_t selected = 0);

// Asks how to read a raw sample file, starting from and confirming into the settings; false when
// cancelled (the settings are left as they were).
bool ask_raw_import_settings(QWidget* parent, RawImportSettings& settings);
// The rate as typed in the dialog: a number limited to 1..65535; anything else counts as 0 and
// becomes 1.
uint32_t typed_raw_rate(const QString& text);
// The header size as typed: an unsigned number, anything else 0.
uint64_t typed_header_size(const QString& text);

} // namespace tunemill
