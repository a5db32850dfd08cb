// Keeps the export options between runs: fills the options window from the options file,
// shows it, writes the confirmed values back, and hands each option out in typed form.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "OptionsFm.h"

namespace pallix {

class ZROptionsControllerT {
 public:
  ZROptionsControllerT();
  ~ZROptionsControllerT();
  ZROptionsControllerT(const ZROptionsControllerT&) = delete;
  ZROptionsControllerT& operator=(const ZROptionsControllerT&) = delete;

  // LoadOptions, show the window modally, SaveOptions when it was closed with OK.
  void Execute();
  bool Accepted() const;

  // Loading and saving never fail visibly: a missing file leaves the window's defaults,
  // and an unreadable or unwritable file is simply not used.
  void LoadOptions();
  void SaveOptions();
  // Reads section "options" of the given file into the window, with the file's defaults.
  void LoadOptionsFrom(const std::string& fileName);

  // The library's own path with the extension ".ini".
  std::string OptionsFileName() const;

  TOptionsForm& Form() { return *form_; }
  const TOptionsForm& Form() const { return *form_; }

  // The options as the exporter takes them, read from the window.
  std::string FileName() const;
  // Raises "'%s' is not a valid floating point value".
  float scale() const;
  bool exportMaterials() const;
  std::string materialPath() const;
  bool exportTextures() const;
  std::string texturePath() const;
  bool exportLightmaps() const;
  std::string materialNamePrefix() const;
  std::uint8_t normalsToExport() const;
  std::uint8_t allowDynamicLighting() const;

 private:
  std::unique_ptr<TOptionsForm> form_;
};

// The scale text as a number: blanks around it allowed, an optional sign, digits with an
// optional "." and exponent, at least one digit. False when the text is not such a number
// or its value does not fit a 32-bit float.
bool TryTextToFloat(std::string_view text, float& value);

}  // namespace pallix
