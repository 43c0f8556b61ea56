#pragma once

namespace Kel {
void libOXUtils_arkRegister();
}
