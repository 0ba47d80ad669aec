// Engine tests follow.
