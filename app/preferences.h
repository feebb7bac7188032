// What the window remembers from one run to the next: each preference with its key and its
// value before the first run, written once here, read and written through the same entry.
// Colours, offsets and dithering are not among them: they start as always.
#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>

template <typename Value>
class Preference {
 public:
  constexpr Preference(const char* key, Value fallback) : key_(key), fallback_(fallback) {}
  Value Read() const {
    return QSettings()
        .value(QLatin1String(key_), QVariant::fromValue(fallback_))
        .template value<Value>();
  }
  void Write(const Value& value) const { QSettings().setValue(QLatin1String(key_), value); }

 private:
  const char* key_;
  Value fallback_;
};

namespace preferences {

inline const Preference<QString> OpenFolder{"folders/open", QString()};  // the last file opened
inline const Preference<QString> SaveFolder{"folders/save", QString()};  // the last save
inline const Preference<QString> Target{"target", QString()};            // a machine's name
inline const Preference<bool> Fit{"fit", false};                         // Fit for new pictures
inline const Preference<int> Goal{"autoColors/goal", 0};                 // Auto Colors' goal
inline const Preference<bool> ColorsPerCell{"autoColors/perCell", false};
inline const Preference<bool> Pack{"pack", false};  // executables and disk images packed
inline const Preference<QString> AssemblerSyntax{"assembler", QString()};  // its name
inline const Preference<QString> PaletteName{"palette", QString()};        // its name
inline const Preference<bool> MixAsAScreenShowsIt{"mixAsLight", false};
inline const Preference<int> ZoomFactor{"zoom/factor", 3};
inline const Preference<int> ZoomMode{"zoom/mode", 0};
inline const Preference<bool> ZoomGrid{"zoom/grid", false};
inline const Preference<bool> ZoomVisible{"zoom/visible", false};  // open with the main window
inline const Preference<QByteArray> ZoomGeometry{"zoom/geometry", QByteArray()};

}  // namespace preferences
