#pragma once
// Window requests that open nothing, for tests that run the tray and the application without
// the configurator or the converter.

#include "app/AppWindows.h"

#include <cstdint>

namespace harness {

class CNoWindows final : public hml::app::IAppWindows {
public:
    void OpenConfigurator(std::uint32_t) override {}
    void DestroyConfigurator() override {}
    void OpenConverter() override {}
    void CloseConverter() override {}
};

} // namespace harness
