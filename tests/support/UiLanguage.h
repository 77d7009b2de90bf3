// Which language the plug-in's texts come out in for this run. The resource
// loader picks them by the user-interface language: Japanese under a
// Japanese one, English everywhere else.
#pragma once

namespace kestrel::test {

bool JapaneseUi();

} // namespace kestrel::test
