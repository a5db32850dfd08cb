# bash completion for pallix-export
_pallix_export() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  COMPREPLY=()
  case $prev in
    --normals) COMPREPLY=($(compgen -W 'none face smooth' -- "$cur")); return ;;
    --dynamic-lighting) COMPREPLY=($(compgen -W 'all unlit' -- "$cur")); return ;;
    --mesh-version) COMPREPLY=($(compgen -W '1.0 1.7 1.8 1.10' -- "$cur")); return ;;
    --material-path | --texture-path | --textures-from | --install-dir | --out-dir)
      COMPREPLY=($(compgen -d -- "$cur")); return ;;
    --options | --report) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --scale | --prefix | --jobs) return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W '--scale --normals --no-materials --material-path --no-textures
      --texture-path --no-lightmaps --prefix --dynamic-lighting --textures-from --install-dir
      --options --mesh-version --32bit-indices --out-dir --jobs --xml --report --strict --force --quiet
      --help --version' -- "$cur"))
  else
    # SCENE, then OUTPUT (or, with --out-dir, more scenes): files and folders.
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -o filenames -F _pallix_export pallix-export
