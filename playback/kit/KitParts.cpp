// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/kit/KitParts.h"

#include "playback/TakeRules.h"
#include "playback/audio/SoundFileSource.h"
#include "playback/kit/Resampler.h"
#include "station/FileNames.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>

namespace {

qint64 bytesOf(const std::shared_ptr<const SoundBuffer> &sound)
{
    return sound ? qint64(sound->samples.size() * sizeof(float)) : 0;
}

// Trims `sound` to where it first and last reaches the silence level, and fades both ends.
// False when it never does.
bool trimAndFade(SoundBuffer &sound)
{
    const float threshold = float(std::pow(10.0, TakeRules::SilenceDbfs / 20.0));
    const int channels = sound.channels;
    const qint64 frames = sound.frameCount();
    const auto loud = [&](qint64 frame) {
        const float *at = sound.samples.data() + frame * channels;
        return std::any_of(at, at + channels, [&](float v) { return std::fabs(v) >= threshold; });
    };
    qint64 first = 0;
    while (first < frames && !loud(first))
        ++first;
    if (first == frames)
        return false;
    qint64 last = frames - 1;
    while (!loud(last))
        --last;
    sound.samples.erase(sound.samples.begin() + (last + 1) * channels, sound.samples.end());
    sound.samples.erase(sound.samples.begin(), sound.samples.begin() + first * channels);

    const qint64 length = last + 1 - first;
    const qint64 fade
        = std::min<qint64>(qint64(sound.sampleRate) * KitParts::FadeMs / 1000, length / 2);
    for (qint64 i = 0; i < fade; ++i) {
        const float gain = (float(i) + 0.5f) / float(fade);
        float *in = sound.samples.data() + i * channels;
        float *out = sound.samples.data() + (length - 1 - i) * channels;
        for (int c = 0; c < channels; ++c) {
            in[c] *= gain;
            out[c] *= gain;
        }
    }
    return true;
}

} // namespace

Result KitParts::stamp(const QString &path, Stamp *stamp)
{
    struct stat info;
    if (::stat(FileNames::encode(path).constData(), &info) != 0)
        return Result::failure(errno == ENOENT ? QStringLiteral("no such file")
                                               : QString::fromLocal8Bit(std::strerror(errno)));
    stamp->device = info.st_dev;
    stamp->inode = info.st_ino;
    stamp->size = info.st_size;
    stamp->modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return {};
}

ResultOf<std::shared_ptr<const SoundBuffer>> KitParts::decode(const QString &path)
{
    using Decoded = ResultOf<std::shared_ptr<const SoundBuffer>>;
    const ResultOf<std::unique_ptr<SoundFileSource>> opened = SoundFileSource::open(path);
    if (!opened)
        return Decoded::failure(opened.error);
    const std::unique_ptr<SoundFileSource> &source = opened.value;
    const qint64 limit = qint64(MaxPartSeconds) * source->sampleRate();
    if (source->frameCount() > limit)
        return Decoded::failure(QStringLiteral("longer than %1 s").arg(MaxPartSeconds));
    auto sound = std::make_shared<SoundBuffer>();
    sound->sampleRate = source->sampleRate();
    sound->channels = source->channels();
    sound->samples.resize(size_t(source->frameCount()) * size_t(sound->channels));
    qint64 done = 0;
    while (done < source->frameCount()) {
        const qint64 got = source->read(sound->samples.data() + done * sound->channels,
                                        source->frameCount() - done);
        if (got < 0)
            return Decoded::failure(source->errorString());
        if (got == 0)
            break;
        done += got;
    }
    sound->samples.resize(size_t(done) * size_t(sound->channels));
    if (!trimAndFade(*sound))
        return Decoded::failure(QStringLiteral("nothing but silence"));
    return {std::move(sound)};
}

ResultOf<std::shared_ptr<const SoundBuffer>> KitParts::part(const QString &path, int sampleRate,
                                                            int channels)
{
    Stamp now;
    if (const Result stamped = stamp(path, &now); !stamped) {
        m_entries.remove(path);
        return ResultOf<std::shared_ptr<const SoundBuffer>>::failure(stamped.error);
    }
    Entry &entry = m_entries[path];
    if (!entry.recorded || entry.stamp != now) {
        ResultOf<std::shared_ptr<const SoundBuffer>> decoded = decode(path);
        if (!decoded) {
            m_entries.remove(path);
            return decoded;
        }
        entry = Entry{now, std::move(decoded.value), nullptr, 0};
    }
    entry.used = ++m_uses;
    const SoundBuffer &recorded = *entry.recorded;
    std::shared_ptr<const SoundBuffer> result = entry.recorded;
    if ((sampleRate != 0 && sampleRate != recorded.sampleRate)
        || (channels != 0 && channels != recorded.channels)) {
        sampleRate = sampleRate != 0 ? sampleRate : recorded.sampleRate;
        channels = channels != 0 ? channels : recorded.channels;
        if (!entry.converted || entry.converted->sampleRate != sampleRate
            || entry.converted->channels != channels) {
            auto converted = std::make_shared<SoundBuffer>();
            converted->sampleRate = sampleRate;
            converted->channels = channels;
            const std::vector<float> remixed = Resampler::remix(
                recorded.samples.data(), recorded.frameCount(), recorded.channels, channels);
            converted->samples = Resampler::resample(remixed.data(), recorded.frameCount(),
                                                     channels, recorded.sampleRate, sampleRate);
            entry.converted = std::move(converted);
        }
        result = entry.converted;
    }
    keepWithinLimit();
    return {result};
}

qint64 KitParts::keptBytes() const
{
    qint64 total = 0;
    for (const Entry &entry : m_entries)
        total += bytesOf(entry.recorded) + bytesOf(entry.converted);
    return total;
}

void KitParts::keepWithinLimit()
{
    qint64 total = keptBytes();
    while (total > MaxKeptBytes && m_entries.size() > 1) {
        auto oldest
            = std::min_element(m_entries.begin(), m_entries.end(),
                               [](const Entry &a, const Entry &b) { return a.used < b.used; });
        total -= bytesOf(oldest->recorded) + bytesOf(oldest->converted);
        m_entries.erase(oldest);
    }
}
