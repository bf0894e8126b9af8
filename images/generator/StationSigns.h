// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QImage>
#include <QSize>

// The two station pictures shown while the transmitter is keyed and while it is not: a lit red
// "ON THE AIR" sign and a lit green "RECEIVE" sign, 169 x 73, in bold lettering.
inline constexpr QSize StationSignSize{169, 73};

// The bold face for the lettering: DejaVu Sans Bold where it is installed, else Qt's default
// font made bold, so that a missing font never stops the build.
QFont signFont();

QImage drawOnTheAirSign(const QFont &font);
QImage drawReceiveSign(const QFont &font);
