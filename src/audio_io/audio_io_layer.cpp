// Anchors the audio_io layer's library until its first module lands.
