// SPDX-License-Identifier: GPL-3.0-or-later
// voicevocta-hamlib.so: hamlib for the program, loaded only when a rig is keyed through it (CAT or
// a CM108 chip) or its rig models are listed. See RigLibrary.

#include "ptt/HamlibRig.h"
#include "ptt/RigLibrary.h"
#include "ptt/RigLink.h"

#include <hamlib/rig.h>

#include <algorithm>

namespace {

int addModel(const struct rig_caps *caps, rig_ptr_t data)
{
    static_cast<QList<PttDevices::RigModel> *>(data)->append(
        {int(caps->rig_model), QString::fromUtf8(caps->mfg_name).trimmed(),
         QString::fromUtf8(caps->model_name).trimmed()});
    return 1; // go on
}

class HamlibLibrary : public RigLibrary
{
public:
    // Made on the UI thread, before any thread of a keyer uses hamlib: every model is known
    // before a keyer's thread asks about one.
    HamlibLibrary()
    {
        HamlibRig::setUpLibrary();
        HamlibRig::loadAllModels();
    }

    std::unique_ptr<RigConnection> connect(const HamlibSettings &settings) override
    {
        return std::make_unique<RigLink>(settings);
    }

    QList<PttDevices::RigModel> models() override
    {
        QList<PttDevices::RigModel> models;
        rig_list_foreach(addModel, &models);
        std::sort(models.begin(), models.end(), [](const auto &a, const auto &b) {
            if (const int c = a.manufacturer.compare(b.manufacturer, Qt::CaseInsensitive))
                return c < 0;
            if (const int c = a.model.compare(b.model, Qt::CaseInsensitive))
                return c < 0;
            return a.number < b.number;
        });
        return models;
    }
};

} // namespace

extern "C" __attribute__((visibility("default"))) RigLibrary *voicevocta_rig_library(int version)
{
    return version == RigLibrary::Version ? new HamlibLibrary : nullptr;
}
