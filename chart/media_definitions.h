#pragma once

#include <QHash>
#include <QSize>
#include <QString>
#include <QStringList>
#include <vector>

#include "chart/chart_state.h"
#include "platform/path_lookup.h"

namespace carvel {

// The "#WAV", "#BMP" and "STAGEFILE" lines of one load. Lines are noted while the text is read
// (tables grow at once, files are looked up); the files are decoded afterwards on a worker pool,
// and the results are applied in line order, so messages keep the order of the lines.
class MediaDefinitions {
  public:
    MediaDefinitions(ChartState& state, int sampleRate);

    void addSound(const QString& line);
    void addPicture(const QString& line);
    void addStage(const QString& value);

    // Decodes what was found (threads: 0 = one per core) and fills the tables; appends one message
    // per definition that failed, in line order.
    void decodeAndApply(QStringList& messages, int threads);

  private:
    enum class Kind { Sound, Picture, Stage };
    struct Definition {
        Kind kind = Kind::Sound;
        int index = 0;
        QString name;       // as the chart wrote it
        QString indexText;  // the two characters after "#WAV"/"#BMP", as written
        FoundFile file;     // not found() when missing
        bool notBitmap = false;
        size_t decodeSlot = 0;
    };
    struct DecodeJob {
        Kind kind;
        QByteArray path;
        media::SoundPtr sound;
        media::PicturePtr picture;
    };

    size_t slotFor(Kind kind, const QByteArray& path);

    ChartState& state_;
    int sampleRate_;
    PathResolver resolver_;
    std::vector<Definition> definitions_;
    std::vector<DecodeJob> jobs_;
    QHash<QByteArray, size_t> slots_;
};

inline constexpr QSize kBmpSize{256, 256};
inline constexpr QSize kStageSize{640, 480};

}  // namespace carvel
