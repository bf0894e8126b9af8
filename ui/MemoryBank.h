// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class SettingsBook;
struct AppState;
struct StationState;
class Dialogs;
class Settings;

// The memories' files: a right click on a memory chooses its sound file with the file dialog,
// and the choice is saved at once. (A left click is the station's: it starts, stops or is
// refused.)
class MemoryBank
{
public:
    // `markChosen` gives memory Index's button the yellow back colour of a memory whose file was
    // asked for, and draws it at once.
    // `station` tells what the station does now.
    MemoryBank(SettingsBook &book, std::function<const StationState &()> station,
               Settings &settings, Dialogs &dialogs, std::function<void(int Index)> markChosen);

    void Command3d1_MouseDown(int Index, int Button, int Shift, int x, int y);
    // Told of each file chosen for a memory, once it is stored.
    void setFileChosen(std::function<void(int Index)> chosen) { m_fileChosen = std::move(chosen); }

private:
    void chooseFile(int Index);

    SettingsBook &m_book;
    const AppState &m_state;
    std::function<const StationState &()> m_station;
    Settings &m_settings;
    Dialogs &m_dialogs;
    std::function<void(int Index)> m_markChosen;
    std::function<void(int Index)> m_fileChosen;
};
