#pragma once
extern bool g_bFakeDisplayFails;
