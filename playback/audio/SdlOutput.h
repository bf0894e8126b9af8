// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/SoundOutput.h"

#include <QString>
#include <QtGlobal>

#include <atomic>

// The sound output through SDL2's audio subsystem (never its video), where no sound server
// answers. The device is opened in the sound's own rate and channel count as 32-bit float, so SDL
// converts for the hardware where it must and writes the samples unchanged where it need not; it
// is reopened only when that format changes and kept paused between plays. SDL is not even
// initialised until the first open(). It plays no monitor. Driven from the playback engine's
// worker thread; SDL's audio thread takes the frames from the feed.
class SdlOutput final : public SoundOutput
{
public:
    explicit SdlOutput(Feed &feed);
    ~SdlOutput() override;
    SdlOutput(const SdlOutput &) = delete;
    SdlOutput &operator=(const SdlOutput &) = delete;

    Result open(const Format &format) override;
    void start() override;
    qint64 pause() override; // the driver plays what it was given: 0
    void framesReady() override { } // SDL asks for frames at its own pace
    // Closes the device and stops the subsystem.
    void close() override;
    bool isOpen() const override { return m_device != 0; }
    // The level applies from the next buffer on (SDL's are short); there is no monitor here.
    void setLevels(float level, float) override { m_level.store(level); }

    // Buffers of silence the driver must take after the last sample before the end is reported.
    static constexpr int TailBuffers = 2;

    static void renderCallback(void *self, quint8 *stream, int bytes);

private:
    Result initialize();
    void closeDevice();
    bool isLost() const;
    void render(float *out, int frames);

    Feed &m_feed;
    std::atomic<float> m_level{1.0f};
    bool m_initialized = false;
    quint32 m_device = 0;
    int m_sampleRate = 0;
    int m_channels = 0;

    // SDL's audio thread, under SDL's device lock.
    bool m_active = false;
    bool m_ended = false;
    int m_tailBuffers = 0;
};
