// Whether this Windows has Media Foundation, which every real camera needs. Windows N and KN
// editions come without it until the Media Feature Pack is installed; virtual cameras need none.
#pragma once

bool MediaFoundationPresent();
