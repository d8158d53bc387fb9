# Convenience targets; build.sh does the work (and works without make).
.PHONY: run test install bench
run test install bench:
	./build.sh $@
