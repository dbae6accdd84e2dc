#pragma once
// Placeholder until the effects chain lands: the engine record holds one by value.
struct StateVariableFilter {};
