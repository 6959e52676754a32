// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: Corvane developers
#pragma once

#include "app/CorvaneForm.h"

namespace corvane::bench {

// The system the benchmarks measure: the parameter boxes' design texts (start-up shows catalogue
// entry 5 instead) with 10 latitude lines, on an 800 x 500 picture.
inline void loadDesignSystem(app::CorvaneForm& form) {
    form.setPictureSize(800, 500);
    form.Form_Load();
    for (const auto& [name, text] : {std::pair{"Qratio", "2.4"}, std::pair{"txtIota", "82"},
                                     std::pair{"txtRadius1", "0.305"}, std::pair{"txtRadius2", "0.45"},
                                     std::pair{"txtTemp1", "8200"}, std::pair{"txtTemp2", "8200"},
                                     std::pair{"txtN1", "10"}}) {
        form.typeText(name, text);
    }
}

} // namespace corvane::bench
