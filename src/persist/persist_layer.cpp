// Anchors the persist layer's library until its first module lands.
