#pragma once

#include <QHash>
#include <QSize>
#include <QString>
#include <QStringList>
#include <vector>

#include "chart/chart_state.h"
#include "media/sound_budget.h"
#include "platform/path_lookup.h"

namespace carvel {

// The "#WAV", "#BMP" and "STAGEFILE" lines of one load. Lines are noted while the text is read
// (tables grow at once, files are looked up); the files are decoded afterwards on a worker pool,
// and the results are applied in line order, so messages keep the order of the lines.
class MediaDefinitions {
  public:
    // soundBudgetBytes bounds the decoded samples of all the sounds together; past it, sounds are
    // refused in line order.
    MediaDefinitions(ChartState& state, int sampleRate, std::size_t soundBudgetBytes);

    void addSound(const QString& line);
    void addPicture(const QString& line);
    void addStage(const QString& value);

    // Decodes what was found (threads: 0 = one per core) and fills the tables; appends one message
    // per definition that failed, in line order. A failed allocation fails only the file at hand.
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
    enum class Outcome { Decoded, Unreadable, UnsupportedRate, TooLong, OverBudget };
    struct DecodeJob {
        Kind kind = Kind::Sound;
        QByteArray path;
        size_t ticket = 0;  // sounds only: their place in line order, for the budget
        Outcome outcome = Outcome::Unreadable;
        int fileRate = 0;
        media::SoundPtr sound;
        media::PicturePtr picture;
    };

    size_t slotFor(Kind kind, const QByteArray& path);
    void loadSound(DecodeJob& job, media::SoundBudget& budget) const;
    static QString soundMessage(const Definition& d, const DecodeJob& job);

    ChartState& state_;
    int sampleRate_;
    std::size_t soundBudgetBytes_;
    size_t soundTickets_ = 0;
    PathResolver resolver_;
    std::vector<Definition> definitions_;
    std::vector<DecodeJob> jobs_;
    QHash<QByteArray, size_t> slots_;
};

inline constexpr QSize kBmpSize{256, 256};
inline constexpr QSize kStageSize{640, 480};

}  // namespace carvel
