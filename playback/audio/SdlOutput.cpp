// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/SdlOutput.h"
#include "station/LogText.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

namespace {

// About 10 ms per buffer: small enough to start quickly and to tell the end of the sound
// precisely, large enough not to starve a sound server.
int bufferFramesFor(int sampleRate)
{
    int frames = 64;
    while (frames < sampleRate / 100 && frames < 8192)
        frames *= 2;
    return frames;
}

constexpr const char *StreamName = "Voice Vocta";

} // namespace

SdlOutput::SdlOutput(Feed &feed) : m_feed(feed) { }

SdlOutput::~SdlOutput()
{
    close();
}

Result SdlOutput::initialize()
{
    if (m_initialized)
        return {};
    // The program handles its own signals; SDL must not take over SIGINT and SIGTERM.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_APP_NAME, StreamName);
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, StreamName);
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, StreamName);
    if (SDL_Init(SDL_INIT_AUDIO) != 0)
        return Result::failure(
            QStringLiteral("no sound output: %1").arg(QString::fromUtf8(SDL_GetError())));
    m_initialized = true;
    return {};
}

Result SdlOutput::open(const Format &format)
{
    if (!format.sink.isEmpty()) {
        // SDL knows no sound server's outputs by name; a named output is never replaced.
        return Result::failure(QStringLiteral("the sound output %1 is not available")
                                   .arg(LogText::quoted(format.sink)));
    }
    const int sampleRate = format.sampleRate;
    const int channels = format.channels;
    if (Result step = initialize(); !step)
        return step;
    if (m_device && sampleRate == m_sampleRate && channels == m_channels && !isLost())
        return {};
    closeDevice();

    SDL_AudioSpec wanted{};
    wanted.freq = sampleRate;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = Uint8(channels);
    wanted.samples = Uint16(bufferFramesFor(sampleRate));
    wanted.callback = &SdlOutput::renderCallback;
    wanted.userdata = this;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the hardware wants.
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device == 0)
        return Result::failure(QStringLiteral("the sound output cannot be opened: %1")
                                   .arg(QString::fromUtf8(SDL_GetError())));
    m_device = device;
    m_sampleRate = sampleRate;
    m_channels = channels;
    return {};
}

void SdlOutput::start()
{
    if (!m_device)
        return;
    SDL_LockAudioDevice(m_device);
    m_active = true;
    m_ended = false;
    m_tailBuffers = 0;
    SDL_UnlockAudioDevice(m_device);
    SDL_PauseAudioDevice(m_device, 0);
}

qint64 SdlOutput::pause()
{
    if (!m_device)
        return 0;
    SDL_LockAudioDevice(m_device);
    m_active = false;
    SDL_UnlockAudioDevice(m_device);
    SDL_PauseAudioDevice(m_device, 1);
    return 0;
}

bool SdlOutput::isLost() const
{
    // SDL reports a device that went away as stopped; an open device is otherwise paused or
    // playing.
    return m_device && SDL_GetAudioDeviceStatus(m_device) == SDL_AUDIO_STOPPED;
}

void SdlOutput::closeDevice()
{
    if (m_device)
        SDL_CloseAudioDevice(m_device);
    m_device = 0;
    m_sampleRate = 0;
    m_channels = 0;
    m_active = false;
}

void SdlOutput::close()
{
    closeDevice();
    if (m_initialized)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    m_initialized = false;
    // SDL keeps per-thread data (its error text) that it frees only for threads it started.
    SDL_TLSCleanup();
}

void SdlOutput::renderCallback(void *self, quint8 *stream, int bytes)
{
    auto *output = static_cast<SdlOutput *>(self);
    // m_device is set before the device is first unpaused and cleared after it is closed, and
    // SDL calls back only in between.
    if (output->isLost()) {
        std::memset(stream, 0, size_t(bytes));
        if (output->m_active) {
            // Whatever is left would play into nothing: the play fails now, and the next one
            // opens the output afresh.
            output->m_active = false;
            output->m_feed.finished(true, QStringLiteral("the sound output went away"));
        }
        return;
    }
    const int frameBytes = int(sizeof(float)) * output->m_channels;
    output->render(reinterpret_cast<float *>(stream), bytes / frameBytes);
}

void SdlOutput::render(float *out, int frames)
{
    int copied = 0;
    bool end = false;
    if (m_active)
        copied = m_feed.take(out, frames, m_channels, &end);
    const float level = m_level.load();
    if (level != 1.0f)
        std::transform(out, out + qint64(copied) * m_channels, out,
                       [level](float sample) { return sample * level; });
    std::fill(out + qint64(copied) * m_channels, out + qint64(frames) * m_channels, 0.0f);
    if (!m_active || !end)
        return;
    if (!m_ended) {
        m_ended = true; // this buffer holds the last sample
        m_tailBuffers = 0;
        return;
    }
    // Each call means the driver has taken the buffer before; once it has taken the one with
    // the last sample and TailBuffers of silence after it, the last sample is out.
    if (++m_tailBuffers > TailBuffers) {
        m_active = false;
        m_feed.finished(false, QString());
    }
}
