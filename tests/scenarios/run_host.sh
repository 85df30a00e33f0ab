#!/bin/sh
echo "no scenarios yet"
